#pragma once
// The main window: the style list with its toolbar, search field, menus and context menu.

#include <QMainWindow>
#include <cstdint>
#include <vector>

#include "app/gui/style_list_controller.h"

class QAction;
class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QStackedWidget;
class QTreeView;

namespace orlavine::gui {

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    MainWindow(Session& session, StyleListController& list, QWidget* parent = nullptr);

    QTreeView& view() { return *view_; }
    QLineEdit& searchField() { return *search_; }
    // The uniqueIDs of the selected rows, in list order.
    std::vector<std::int64_t> selectedIDs() const;
    void selectStyle(std::int64_t uniqueID);
    // Whether the empty-library hint shows instead of the table.
    bool showsEmptyHint() const;

  signals:
    void newStyleRequested();
    void importURLRequested();
    void importFileRequested();
    void pasteImportRequested();
    void updateAllRequested();
    void recoveryRequested();
    void preferencesRequested();
    void browserSetupRequested();
    void aboutRequested();
    void exportRequested(std::int64_t uniqueID);
    void propertiesRequested(std::int64_t uniqueID);
    void emailSupportRequested();
    void websiteRequested();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildMenus();
    void showContextMenu(const QPoint& at);
    void updateEmptyHint();
    void setLocked(bool locked);

    Session& session_;
    StyleListController& list_;
    QSortFilterProxyModel* filter_;
    QTreeView* view_;
    QLineEdit* search_;
    QStackedWidget* stack_;
    QLabel* syncing_;
    QLabel* cloudError_;
    std::vector<QAction*> libraryActions_;  // off until the library has been read
};

}  // namespace orlavine::gui
