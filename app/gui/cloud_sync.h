#pragma once
// Sync in the desktop program: the launch's account check, the first sync and then following
// the account (WebDAV polling or the folder's change notices), all on threads of their own.
// Sync can be switched on again from the preferences, with the account set up before or a new
// one, and the account can be signed out of. The list stays locked while a first sync runs.

#include <QObject>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "app/gui/main_thread_work.h"
#include "model/result.h"
#include "session/session.h"
#include "sync/record_store.h"
#include "sync/sync_engine.h"

namespace orlavine::gui {

class CloudSync : public QObject {
    Q_OBJECT
  public:
    explicit CloudSync(Session& session, QObject* parent = nullptr);
    // Ends the requests in flight (within a second) and waits for the threads.
    ~CloudSync() override;

    // The account check of the launch. With sync on, or never configured, it opens the account;
    // when that works the first sync starts (switching sync on the first time), else sync is
    // switched off and the list unlocked. Once only.
    void checkAccount(std::chrono::milliseconds pollInterval = std::chrono::minutes(1));
    // The sync box was ticked ("UseiCloud" is on): a first merge that keeps every local style,
    // then the account is followed. `newAccount` when the account was just set up (the library
    // is copied aside first, and the account opened afresh).
    void switchOn(bool newAccount,
                  std::chrono::milliseconds pollInterval = std::chrono::minutes(1));
    // Switches sync off, stops following the account and forgets it (settings and password);
    // `done` gets the outcome on the main thread.
    void signOut(std::function<void(Status)> done);

    // The launch's style update waits for the first sync, which asks for it when it is done.
    void setFirstUpdatePending(bool pending) { firstUpdatePending_ = pending; }

    bool syncInProgress() const;
    bool firstSyncStarted() const;
    // The engine once an account was opened (for the recovery window), else none. It stays
    // valid while this object lives, also after a sign-out.
    sync::SyncEngine* engine() const { return engine_.load(); }

  signals:
    // A first sync (at launch, or once sync was switched on) has ended, whatever its outcome;
    // what follows only waits for the account to change.
    void firstSyncEnded();

  private:
    enum class Start { launchConfigured, launchFirst, switchedOn, newAccount };
    void run(Start start, std::chrono::milliseconds pollInterval);
    // Opens the account and makes its engine, unless one is open and `fresh` is false.
    Result<sync::SyncEngine*> engineFor(bool fresh);
    // Polls the current account while sync is on; one follower at a time.
    void follow(std::chrono::milliseconds pollInterval);

    Session& session_;
    std::mutex mutex_;  // guards the owners below
    // Every account opened in this run and its engine, kept until the end so that a window
    // holding an engine never sees it go.
    std::vector<std::unique_ptr<sync::RecordStore>> clouds_;
    std::vector<std::unique_ptr<sync::SyncEngine>> engines_;
    std::atomic<sync::SyncEngine*> engine_{nullptr};
    std::atomic<sync::RecordStore*> cloudInUse_{nullptr};
    std::atomic<bool> stop_{false};
    std::atomic<bool> following_{false};
    bool started_ = false;
    std::atomic<bool> firstUpdatePending_{false};
    BackgroundWork work_{this};
};

}  // namespace orlavine::gui
