#pragma once
// Sync in the desktop program: the launch's account check, the first sync and then following
// the account (WebDAV polling or the folder's change notices), all on a thread of its own.
// The list stays locked while the first sync runs.

#include <QObject>
#include <atomic>
#include <chrono>
#include <memory>

#include "app/gui/main_thread_work.h"
#include "session/session.h"
#include "sync/record_store.h"
#include "sync/sync_engine.h"

namespace orlavine::gui {

class CloudSync : public QObject {
    Q_OBJECT
  public:
    explicit CloudSync(Session& session, QObject* parent = nullptr);
    // Ends the request in flight and waits for the thread.
    ~CloudSync() override;

    // The account check of the launch. With sync on, or never configured, it opens the account;
    // when that works the first sync starts (switching sync on the first time), else sync is
    // switched off and the list unlocked. Once only.
    void checkAccount(std::chrono::milliseconds pollInterval = std::chrono::minutes(1));
    bool syncInProgress() const;
    bool firstSyncStarted() const;
    // The engine once the account is open (for the recovery window), else none.
    sync::SyncEngine* engine() const { return engine_.load(); }

  signals:
    // The first sync has ended, whatever its outcome.
    void firstSyncEnded();

  private:
    void run(bool configured, std::chrono::milliseconds pollInterval);

    Session& session_;
    std::unique_ptr<sync::RecordStore> cloud_;
    std::unique_ptr<sync::SyncEngine> engineOwner_;
    std::atomic<sync::SyncEngine*> engine_{nullptr};
    std::atomic<sync::RecordStore*> cloudInUse_{nullptr};
    std::atomic<bool> stop_{false};
    bool started_ = false;
    BackgroundWork work_{this};
};

}  // namespace orlavine::gui
