#pragma once
// The window that lists the styles sync merges removed in this run and puts chosen ones back.

#include <QDialog>

#include "app/gui/main_thread_work.h"
#include "app/gui/notice_bridge.h"
#include "sync/sync_engine.h"

class QListWidget;
class QPushButton;

namespace orlavine::gui {

class RecoveryWindow : public QDialog {
    Q_OBJECT
  public:
    RecoveryWindow(sync::SyncEngine& engine, NotificationCenter& notifications,
                   QWidget* parent = nullptr);

    void reload();
    // Puts the selected styles back at the end of the library, the lowest row last.
    void recoverSelected();

  private:
    sync::SyncEngine& engine_;
    NoticeBridge bridge_;
    QListWidget* list_;
    QPushButton* recover_;
    BackgroundWork work_{this};
};

}  // namespace orlavine::gui
