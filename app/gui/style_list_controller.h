#pragma once
// What the style list does: every action of the list's toolbar, menus and rows, carried out on
// the library through its transactions. The rows are rebuilt from the library after each change,
// whichever program made it.

#include <QObject>
#include <QUndoStack>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "app/gui/main_thread_work.h"
#include "app/gui/notice_bridge.h"
#include "app/gui/prompter.h"
#include "app/gui/style_list_model.h"
#include "library/row_update_check.h"
#include "session/session.h"

namespace orlavine::gui {

inline constexpr const char* kCheckIfWindowFocus = "checkIfWindowFocus";
inline constexpr const char* kRemoveFromOpenStyles = "removeFromOpenStyles";

class StyleListController : public QObject {
    Q_OBJECT
  public:
    // How the rows are first filled: at once, or from a thread that reads the library while the
    // window is already up (a large library takes a while to read).
    enum class FirstLoad { now, background };
    StyleListController(Session& session, Prompter& prompter, FirstLoad load = FirstLoad::now,
                        QObject* parent = nullptr);

    StyleListModel& model() { return model_; }
    QUndoStack& undoStack() { return undo_; }
    // Whether a cloud sync is running; while it is, the list changes nothing.
    void setSyncInProgress(std::function<bool()> syncInProgress) {
        syncInProgress_ = std::move(syncInProgress);
    }
    const std::set<std::int64_t>& openStyleIDs() const { return openStyleIDs_; }
    bool locked() const { return locked_; }
    // Whether the rows show the library (false only while a background first load runs).
    bool isLoaded() const { return loaded_; }

    // Rebuilds the rows from the library.
    void reload();

    void toggle(std::int64_t uniqueID, bool enabled);
    void setAllEnabled(bool enabled);
    void setEnabled(const std::vector<std::int64_t>& ids, bool enabled);
    void duplicate(const std::vector<std::int64_t>& ids);
    // `clickedRow`: the single row of the context menu, rather than the selection.
    void deleteStyles(const std::vector<std::int64_t>& ids, bool clickedRow = false);
    void rename(std::int64_t uniqueID, const QString& name);
    void reorder(const std::vector<int>& rows, int dropRow);
    void open(std::int64_t uniqueID);
    // Every style with a source to check is checked, several at once; each row shows its
    // status as its check ends. Beeps when one is running already.
    void updateAll();
    // One row's update button.
    void updateOne(std::int64_t uniqueID);
    // Beeps and returns true while a cloud sync runs, the list waits for the first one or the
    // library is still being read: then nothing may change the library.
    bool refused();

  signals:
    // The editor window for a style; the list has put it among the open styles.
    void openInEditor(std::int64_t uniqueID);
    // Select and show a row.
    void showRow(std::int64_t uniqueID);
    // The table is refused to the user while the cloud library is being merged in.
    void lockChanged(bool locked);
    void cloudError();
    void loaded();
    // A row's update status changed ("checking", then how its check ended).
    void updateStatusChanged(std::int64_t uniqueID, const QString& status);
    // The first merge with the cloud library ended: the update at launch may run now.
    void firstUpdateAsked();

  private:
    void onNotice(const Notification& notification);
    void scheduleReload();
    RowUpdateCheck& checks();
    void setUpdateStatus(std::int64_t uniqueID, const QString& status);
    // Beeps and returns true when a row among `ids` is being checked; those rows take no change.
    bool updating(const std::vector<std::int64_t>& ids);

    Session& session_;
    Prompter& prompter_;
    StyleListModel model_;
    QUndoStack undo_;
    NoticeBridge bridge_;
    std::function<bool()> syncInProgress_;
    std::set<std::int64_t> openStyleIDs_;
    bool locked_ = false;
    bool reloadQueued_ = false;
    bool loaded_ = false;
    bool loading_ = false;  // the first read runs in the background
    BackgroundWork work_{this};
    // After work_, whose main thread it reports to: it is gone first.
    std::unique_ptr<RowUpdateCheck> checks_;
};

}  // namespace orlavine::gui
