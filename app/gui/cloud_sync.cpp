#include "app/gui/cloud_sync.h"

#include "model/settings_keys.h"
#include "sync/secret_store.h"
#include "sync/sync_account.h"

namespace orlavine::gui {
namespace {

// The account set up for sync, with its password from the Secret Service, or why there is none.
Result<std::unique_ptr<sync::RecordStore>> openAccount(Session& session) {
    const SettingsStore& app = session.settings().app;
    const std::string server = app.stringValue(sync::kSyncServerKey);
    if (server.empty()) {
        return Error{"No sync account is set up."};
    }
    Result<sync::AccountAddress> address = sync::parseAccountAddress(server);
    if (!address) {
        return Error{address.error()};
    }
    std::string password;
    if (address->kind == sync::AccountKind::webdav) {
        Result<std::string> stored =
            sync::lookupPassword(server, app.stringValue(sync::kSyncUserKey));
        if (!stored) {
            return Error{stored.error()};
        }
        password = std::move(stored).value();
    }
    return sync::openRecordStore(session.settings(), password);
}

}  // namespace

CloudSync::CloudSync(Session& session, QObject* parent) : QObject(parent), session_(session) {}

CloudSync::~CloudSync() {
    stop_ = true;
    if (sync::RecordStore* cloud = cloudInUse_.load()) {
        cloud->cancel();
    }
    if (sync::SyncEngine* engine = engine_.load()) {
        engine->cancel();
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
    work_.run([this, configured, pollInterval] { run(configured, pollInterval); });
}

void CloudSync::run(bool configured, std::chrono::milliseconds pollInterval) {
    SettingsStore& app = session_.settings().app;
    Result<std::unique_ptr<sync::RecordStore>> account = openAccount(session_);
    if (!configured) {
        app.set(keys::kHasConfiguredCloud, true);
    }
    if (!account) {
        if (configured) {
            session_.reporter().consoleLine("Sync is off: " + account.error());
            app.set(keys::kUseCloud, false);
            session_.notifications().post(notifications::kRefreshTable);
        }
        work_.onMain([this] { emit firstSyncEnded(); });
        return;
    }
    cloud_ = std::move(account).value();
    cloudInUse_ = cloud_.get();
    sync::SyncServices services = session_.syncServices(*cloud_);
    services.onMainThread = work_.mainThread();
    engineOwner_ = std::make_unique<sync::SyncEngine>(std::move(services));
    sync::SyncEngine& engine = *engineOwner_;
    engine_ = &engine;
    if (!configured) {
        engine.enableSync();
        engine.makePreCloudCopy();
    }
    if (!stop_) {
        engine.startCloudSync();
    }
    if (!stop_) {
        engine.fetchCloudPreferences();
    }
    session_.notifications().post(notifications::kRefreshTable);
    work_.onMain([this] { emit firstSyncEnded(); });
    while (!stop_ && app.boolValue(keys::kUseCloud)) {
        cloud_->waitForChange(pollInterval);
        if (!stop_) {
            engine.poll();
        }
    }
}

}  // namespace orlavine::gui
