#include "app/gui/cloud_sync.h"

#include "model/settings_keys.h"
#include "sync/account_setup.h"

namespace orlavine::gui {

CloudSync::CloudSync(Session& session, QObject* parent) : QObject(parent), session_(session) {
    // The follower waits on the account for as long as sync is on; switching on and signing
    // out must not queue behind it.
    work_.setMaxThreads(4);
}

CloudSync::~CloudSync() {
    stop_ = true;
    {
        std::lock_guard lock(mutex_);
        for (const auto& cloud : clouds_) {
            cloud->cancel();
        }
        for (const auto& engine : engines_) {
            engine->cancel();
        }
    }
    work_.wait();
}

bool CloudSync::syncInProgress() const {
    const sync::SyncEngine* engine = engine_.load();
    return engine != nullptr && engine->syncInProgress();
}

bool CloudSync::firstSyncStarted() const {
    const sync::SyncEngine* engine = engine_.load();
    return engine != nullptr && engine->firstSyncStarted();
}

void CloudSync::checkAccount(std::chrono::milliseconds pollInterval) {
    const SettingsStore& app = session_.settings().app;
    const bool configured = app.boolValue(keys::kHasConfiguredCloud);
    if (started_ || (configured && !app.boolValue(keys::kUseCloud))) {
        return;
    }
    started_ = true;
    const Start start = configured ? Start::launchConfigured : Start::launchFirst;
    work_.run([this, start, pollInterval] { run(start, pollInterval); });
}

void CloudSync::switchOn(bool newAccount, std::chrono::milliseconds pollInterval) {
    started_ = true;
    const Start start = newAccount ? Start::newAccount : Start::switchedOn;
    work_.run([this, start, pollInterval] { run(start, pollInterval); });
}

void CloudSync::signOut(std::function<void(Status)> done) {
    work_.run([this, done = std::move(done)] {
        Status outcome = sync::signOut(session_.settings());
        if (sync::RecordStore* cloud = cloudInUse_.load()) {
            cloud->cancel();  // the follower stops waiting on the account it had
        }
        session_.notifications().post(notifications::kRefreshTable);
        work_.onMain([done, outcome = std::move(outcome)] { done(outcome); });
    });
}

Result<sync::SyncEngine*> CloudSync::engineFor(bool fresh) {
    std::lock_guard lock(mutex_);
    if (!fresh && engine_.load() != nullptr) {
        return engine_.load();
    }
    Result<std::unique_ptr<sync::RecordStore>> account =
        sync::openSavedAccount(session_.settings());
    if (!account) {
        return Error{account.error()};
    }
    clouds_.push_back(std::move(account).value());
    sync::SyncServices services = session_.syncServices(*clouds_.back());
    services.onMainThread = work_.mainThread();
    engines_.push_back(std::make_unique<sync::SyncEngine>(std::move(services)));
    if (stop_) {
        clouds_.back()->cancel();
        engines_.back()->cancel();
    }
    cloudInUse_ = clouds_.back().get();
    engine_ = engines_.back().get();
    return engines_.back().get();
}

void CloudSync::run(Start start, std::chrono::milliseconds pollInterval) {
    SettingsStore& app = session_.settings().app;
    const bool launch = start == Start::launchConfigured || start == Start::launchFirst;
    Result<sync::SyncEngine*> opened = engineFor(start == Start::newAccount);
    if (start == Start::launchFirst) {
        app.set(keys::kHasConfiguredCloud, true);
    }
    if (!opened) {
        if (start != Start::launchFirst) {
            session_.reporter().consoleLine("Sync is off: " + opened.error());
            app.set(keys::kUseCloud, false);
            session_.notifications().post(notifications::kRefreshTable);
        }
        work_.onMain([this] { emit firstSyncEnded(); });
        return;
    }
    sync::SyncEngine& engine = **opened;
    if (launch) {
        engine.setFirstUpdatePending(firstUpdatePending_.exchange(false));
    }
    if (start == Start::newAccount || start == Start::launchFirst) {
        engine.makePreCloudCopy();
    }
    if (start != Start::launchConfigured) {
        engine.enableSync();  // locks the list until the merge is done
    }
    if (!stop_) {
        engine.startCloudSync();
    }
    if (!stop_) {
        engine.fetchCloudPreferences();
    }
    session_.notifications().post(notifications::kRefreshTable);
    work_.onMain([this] { emit firstSyncEnded(); });
    follow(pollInterval);
}

void CloudSync::follow(std::chrono::milliseconds pollInterval) {
    const SettingsStore& app = session_.settings().app;
    while (!stop_ && app.boolValue(keys::kUseCloud) && !following_.exchange(true)) {
        while (!stop_ && app.boolValue(keys::kUseCloud)) {
            cloudInUse_.load()->waitForChange(pollInterval);
            if (!stop_ && app.boolValue(keys::kUseCloud)) {
                engine_.load()->poll();
            }
        }
        // Sync may have been switched on again while this loop was ending.
        following_ = false;
    }
}

}  // namespace orlavine::gui
