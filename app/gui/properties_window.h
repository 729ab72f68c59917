#pragma once
// The properties panel of one style: exclusions, frames, light/dark, and a row per user
// variable with the control its kind needs. Edits stay in a working copy until Save, which
// compiles off the main thread and stores; Cancel drops them.

#include <QWidget>
#include <cstdint>
#include <functional>

#include "app/gui/main_thread_work.h"
#include "app/gui/notice_bridge.h"
#include "app/gui/prompter.h"
#include "library/style_properties.h"
#include "session/session.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QVBoxLayout;

namespace orlavine::gui {

inline constexpr const char* kFocusProperties = "focusProperties";

class PropertiesWindow : public QWidget {
    Q_OBJECT
  public:
    PropertiesWindow(Session& session, Prompter& prompter, styleContainer style,
                     QWidget* parent = nullptr);

    std::int64_t styleID() const { return styleID_; }
    PropertiesDraft& draft() { return draft_; }
    QTableWidget& exclusionTable() { return *exclusions_; }
    // The control of a variable's row (QLineEdit, QPushButton, QCheckBox, QComboBox, QSlider or
    // QDoubleSpinBox), or null.
    QWidget* variableControl(const QString& name) const;
    QLabel* variableLabel(const QString& name) const;

    void addExclusion(const QString& kind);
    void removeSelectedExclusion();
    void resetVariables();
    // Stores the working copy; `done` runs on the main thread with whether the panel closed.
    void save(std::function<void(bool)> done = {});

  signals:
    void closing(std::int64_t uniqueID);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildVariables();
    void addVariableRow(const userVariable& variable);
    void takeExclusionRows();
    void onNotice(const Notification& notification);

    Session& session_;
    Prompter& prompter_;
    std::int64_t styleID_;
    PropertiesDraft draft_;
    QTableWidget* exclusions_;
    QCheckBox* frames_;
    QComboBox* theme_;
    QWidget* variableArea_;
    QVBoxLayout* variableRows_;
    QPushButton* reset_;
    NoticeBridge bridge_;
    BackgroundWork work_{this};
};

}  // namespace orlavine::gui
