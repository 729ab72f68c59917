#include "sync/sync_engine.h"

#include <algorithm>
#include <utility>

#include "model/atomic_file.h"
#include "model/date.h"
#include "model/record_json.h"
#include "model/settings_keys.h"
#include "model/style_factory.h"
#include "sync/cloud_merge.h"
#include "sync/preferences_record.h"

namespace orlavine::sync {

namespace names = orlavine::notifications;

SyncEngine::SyncEngine(SyncServices services) : services_(std::move(services)) {
    state_ = loadSyncState(services_.stateFolder);
}

// ---- switching on and off ----

void SyncEngine::enableSync() {
    std::lock_guard lock(mutex_);
    if (Status s = services_.settings->app.set(keys::kUseCloud, true); !s) {
        note("Cannot switch sync on: " + s.error());
        return;
    }
    state_.firstMergeAfterEnabling = true;
    persist();
    post(names::kLockForCloud);
}

void SyncEngine::disableSync() {
    std::lock_guard lock(mutex_);
    if (Status s = services_.settings->app.set(keys::kUseCloud, false); !s) {
        note("Cannot switch sync off: " + s.error());
    }
}

// ---- the operations ----

void SyncEngine::startCloudSync() {
    if (!useCloud()) {
        return;
    }
    std::lock_guard lock(mutex_);
    syncInProgress_ = true;
    firstSyncStarted_ = true;
    const FetchOutcome fetched = services_.cloud->fetch({kDatabaseRecord});
    if (fetched.error) {
        if (fetched.error->kind == CloudError::Kind::notAuthenticated) {
            turnOffForAuthentication();
            post(names::kRefreshTable);
        } else {
            note("Cannot reach the cloud library: " + fetched.error->message);
            post(names::kCloudError);
        }
    }
    if (!fetched.records) {
        // Nothing came back; the next start or poll tries again, and the list is not left locked.
        syncInProgress_ = false;
        persist();
        return;
    }
    const auto record = fetched.records->find(kDatabaseRecord);
    if (record == fetched.records->end()) {
        state_.databaseTag.reset();
        if (uploadLocal()) {
            note("The cloud held no library; uploaded this one.");
            state_.firstMergeAfterEnabling = false;
        }
        syncInProgress_ = false;
        post(names::kRefreshTable);
    } else {
        state_.databaseTag = record->second.tag;
        if (const std::optional<styleDatabase> cloud = decodeCloud(record->second.body)) {
            runFirstMerge(*cloud);
        } else {
            syncInProgress_ = false;
        }
        if (firstUpdatePending_) {
            firstUpdatePending_ = false;
            post(names::kPerformFirstUpdate);
        }
        if (pendingOpen_) {
            post(names::kOpenStyleNotif, {{"id", *pendingOpen_}});
            pendingOpen_.reset();
        }
    }
    persist();
}

void SyncEngine::fetchCloudPreferences() {
    if (!useCloud()) {
        return;
    }
    std::lock_guard lock(mutex_);
    const FetchOutcome fetched = services_.cloud->fetch({kPreferencesRecord});
    if (fetched.error) {
        if (fetched.error->kind == CloudError::Kind::notAuthenticated) {
            turnOffForAuthentication();
        } else {
            note("Cannot fetch the cloud preferences: " + fetched.error->message);
        }
    }
    if (!fetched.records) {
        return;
    }
    const auto record = fetched.records->find(kPreferencesRecord);
    if (record == fetched.records->end()) {
        state_.preferencesTag.reset();
        savePreferencesRecord();
    } else {
        applyPreferencesRecord(record->second);
    }
    persist();
}

void SyncEngine::handleRemoteChange() {
    if (!useCloud()) {
        return;
    }
    std::lock_guard lock(mutex_);
    handleRemoteChangeLocked();
}

void SyncEngine::handleRemoteChangeLocked() {
    const FetchOutcome fetched = services_.cloud->fetch({kDatabaseRecord, kPreferencesRecord});
    if (fetched.error) {
        if (fetched.error->kind == CloudError::Kind::notAuthenticated) {
            turnOffForAuthentication();
            post(names::kRefreshTable);
            return;
        }
        note("Cannot fetch the cloud records: " + fetched.error->message);
    }
    if (!fetched.records) {
        return;
    }
    const auto& records = *fetched.records;
    const auto library = records.find(kDatabaseRecord);
    if (library == records.end()) {
        state_.databaseTag.reset();
        if (uploadLocal()) {
            note("The cloud held no library; uploaded this one.");
        }
        post(names::kRefreshTable);
    } else if (library->second.tag != state_.databaseTag) {
        state_.databaseTag = library->second.tag;
        if (const std::optional<styleDatabase> cloud = decodeCloud(library->second.body)) {
            // Changes made here that the cloud has not seen are reconciled like a start of sync,
            // so styles added here are kept rather than taken for deletions.
            if (hasUnsyncedChanges()) {
                runFirstMerge(*cloud);
            } else {
                runRemoteMerge(*cloud);
            }
        }
    }
    const auto prefs = records.find(kPreferencesRecord);
    if (prefs == records.end()) {
        state_.preferencesTag.reset();
    } else if (prefs->second.tag != state_.preferencesTag) {
        applyPreferencesRecord(prefs->second);
    }
    persist();
}

bool SyncEngine::poll() {
    if (!useCloud()) {
        return false;
    }
    std::lock_guard lock(mutex_);
    std::optional<std::string> tags[2];
    const char* recordNames[2] = {kDatabaseRecord, kPreferencesRecord};
    for (int i = 0; i < 2; ++i) {
        TagOutcome tag = services_.cloud->currentTag(recordNames[i]);
        if (tag.error) {
            if (tag.error->kind == CloudError::Kind::notAuthenticated) {
                turnOffForAuthentication();
                post(names::kRefreshTable);
            } else {
                note("Cannot reach the cloud library: " + tag.error->message);
            }
            return false;
        }
        tags[i] = std::move(tag.tag);
    }
    if (tags[0] != state_.databaseTag || tags[1] != state_.preferencesTag) {
        handleRemoteChangeLocked();
        return true;
    }
    if (hasUnsyncedChanges() && uploadLocal()) {
        note("Uploaded the changes made here.");
    }
    persist();
    return false;
}

void SyncEngine::uploadDatabase(const std::filesystem::path& databaseFile) {
    if (!useCloud()) {
        return;
    }
    std::error_code ec;
    if (!std::filesystem::exists(databaseFile, ec)) {
        return;
    }
    std::lock_guard lock(mutex_);
    Result<std::string> bytes = readWholeFile(databaseFile, kMaxDatabaseBytes);
    Result<styleDatabase> db =
        bytes ? decodeDatabase(*bytes) : Result<styleDatabase>(Error{bytes.error()});
    if (!db) {
        // Never send a library that would not read back; the next poll sends the store's copy.
        state_.uploadPending = true;
        note("The library file cannot be uploaded: " + db.error());
        persist();
        return;
    }
    uploadBytes(*bytes, db->randomHash);
    persist();
}

void SyncEngine::pushPreferences() {
    if (!useCloud()) {
        return;
    }
    std::lock_guard lock(mutex_);
    savePreferencesRecord();
    persist();
}

void SyncEngine::makePreCloudCopy() {
    services_.store->keepPreCloudCopy();
}

// ---- recovery ----

std::vector<styleContainer> SyncEngine::deletedStyles() const {
    std::lock_guard lock(mutex_);
    return state_.deletedStyles;
}

std::size_t SyncEngine::recover(std::vector<std::size_t> rows) {
    std::lock_guard lock(mutex_);
    std::sort(rows.begin(), rows.end(), std::greater<>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::size_t recovered = 0;
    for (const std::size_t row : rows) {
        if (row >= state_.deletedStyles.size()) {
            continue;
        }
        styleContainer style = state_.deletedStyles[row];
        services_.store->modify([&](styleDatabase& db) {
            // A style that came back meanwhile keeps its number; the recovered copy gets another.
            const bool taken =
                std::any_of(db.styles.begin(), db.styles.end(),
                            [&](const styleContainer& s) { return s.uniqueID == style.uniqueID; });
            if (taken) {
                style.uniqueID = newUniqueID(db);
            }
            db.styles.push_back(std::move(style));
        });
        state_.deletedStyles.erase(state_.deletedStyles.begin() + static_cast<std::ptrdiff_t>(row));
        ++recovered;
    }
    if (recovered > 0) {
        services_.store->save();
        post(names::kRefreshTableAndScroll);
        persist();
    }
    return recovered;
}

// ---- state ----

bool SyncEngine::syncInProgress() const {
    std::lock_guard lock(mutex_);
    return syncInProgress_;
}

bool SyncEngine::firstSyncStarted() const {
    std::lock_guard lock(mutex_);
    return firstSyncStarted_;
}

bool SyncEngine::hasSyncedBefore() const {
    std::lock_guard lock(mutex_);
    return state_.databaseTag.has_value();
}

void SyncEngine::setPendingOpenRequest(std::optional<std::int64_t> uniqueID) {
    std::lock_guard lock(mutex_);
    pendingOpen_ = uniqueID;
}

void SyncEngine::setFirstUpdatePending(bool pending) {
    std::lock_guard lock(mutex_);
    firstUpdatePending_ = pending;
}

void SyncEngine::setOpenStyleIDs(std::set<std::int64_t> ids) {
    std::lock_guard lock(mutex_);
    openStyleIDs_ = std::move(ids);
}

std::vector<std::string> SyncEngine::takeEvents() {
    std::lock_guard lock(mutex_);
    return std::exchange(events_, {});
}

// ---- helpers (mutex_ held) ----

bool SyncEngine::useCloud() const {
    return services_.settings->app.boolValue(keys::kUseCloud);
}

void SyncEngine::turnOffForAuthentication() {
    syncInProgress_ = false;
    (void)services_.settings->app.set(keys::kUseCloud, false);
    note("The account refused the user name or password; sync is now off.");
}

void SyncEngine::note(std::string line) {
    events_.push_back(std::move(line));
}

void SyncEngine::post(const char* name, UserInfo info) {
    services_.notifications->post(name, std::move(info));
}

void SyncEngine::persist() {
    if (Status s = saveSyncState(services_.stateFolder, state_); !s) {
        services_.reporter->consoleLine("Cannot keep the sync state: " + s.error());
    }
}

std::optional<styleDatabase> SyncEngine::decodeCloud(const std::string& body) {
    Result<styleDatabase> db = decodeDatabase(body);
    if (db) {
        return std::move(db).value();
    }
    services_.reporter->consoleLine(kErrorDecodingCloudLine);
    Reporter* reporter = services_.reporter;
    auto alert = [reporter] {
        reporter->showAlert(kErrorReadingCloudTitle, kErrorReadingCloudText);
    };
    if (services_.onMainThread) {
        services_.onMainThread(alert);
    } else {
        alert();
    }
    note("The cloud library cannot be read; the library here is left as it is.");
    return std::nullopt;
}

bool SyncEngine::uploadBytes(const std::string& bytes, std::int64_t revision) {
    const SaveOutcome saved = services_.cloud->save(kDatabaseRecord, bytes, state_.databaseTag);
    if (saved.error) {
        state_.uploadPending = true;
        if (saved.error->kind == CloudError::Kind::conflict) {
            note("Another machine changed the cloud library first; merging at the next poll.");
        } else {
            note("Upload failed, trying again at the next poll: " + saved.error->message);
        }
        return false;
    }
    state_.databaseTag = saved.tag;
    state_.uploadPending = false;
    state_.syncedRevision = revision;
    (void)services_.settings->app.setDate(keys::kLastSuccessfulSync, Date::now());
    return true;
}

bool SyncEngine::uploadLocal() {
    const styleDatabase local = services_.store->snapshot();
    return uploadBytes(encodeDatabase(local), local.randomHash);
}

bool SyncEngine::hasUnsyncedChanges() const {
    if (state_.uploadPending) {
        return true;
    }
    return state_.syncedRevision &&
           services_.store->snapshot().randomHash != *state_.syncedRevision;
}

void SyncEngine::runFirstMerge(const styleDatabase& cloud) {
    const styleDatabase local = services_.store->snapshot();
    FirstMergeInput input{cloud, local,
                          services_.settings->app.dateValue(keys::kLastSuccessfulSync),
                          state_.firstMergeAfterEnabling};
    FirstMergeResult merged = firstMerge(input);
    if (merged.unchanged) {
        state_.syncedRevision = local.randomHash;
        state_.uploadPending = false;
        syncInProgress_ = false;
        post(names::kRefreshTable);
        note("The library is the same as the cloud's.");
        return;
    }
    if (!merged.deleted.empty()) {
        note(std::to_string(merged.deleted.size()) + " style(s) left the library; see recover.");
        addDeleted(std::move(merged.deleted));
        post(names::kDeletedStylesChanged);
    }
    note("Merged the cloud library (" + std::to_string(merged.merged.styles.size()) + " styles).");
    if (merged.merged.styles == cloud.styles) {
        // Nothing here the cloud lacks: take its copy as it is, without sending it back.
        state_.syncedRevision = cloud.randomHash;
        state_.uploadPending = false;
        (void)services_.settings->app.setDate(keys::kLastSuccessfulSync, Date::now());
        services_.store->replaceAll(std::move(merged.merged));
        services_.store->saveReceivedChanges();
    } else {
        services_.store->replaceAll(std::move(merged.merged));
        // The save stamps a new revision and uploads it; until that upload succeeds the next
        // poll sends it again.
        state_.uploadPending = true;
        services_.store->save();
    }
    syncInProgress_ = false;
    state_.firstMergeAfterEnabling = false;
    post(names::kRefreshTable);
}

void SyncEngine::runRemoteMerge(const styleDatabase& cloud) {
    const styleDatabase local = services_.store->snapshot();
    RemoteMergeResult merged = remoteMerge(cloud, local);
    const std::int64_t revision = merged.merged.randomHash;
    const std::size_t deletedCount = merged.deleted.size();
    services_.store->replaceAll(std::move(merged.merged));
    services_.store->saveReceivedChanges();
    state_.syncedRevision = revision;
    (void)services_.settings->app.setDate(keys::kLastSuccessfulSync, Date::now());
    addDeleted(std::move(merged.deleted));
    note("Took the changes from the cloud (" + std::to_string(merged.changedIDs.size()) +
         " style(s) changed, " + std::to_string(deletedCount) + " removed).");
    post(names::kRefreshTable);
    post(names::kStylesChangedInCloud, {{"changedIDs", merged.changedIDs}});
    if (!state_.deletedStyles.empty()) {
        post(names::kDeletedStylesChanged);
    }
    for (const std::int64_t id : merged.changedIDs) {
        post(names::kCloseProperties, {{"id", id}});
        if (openStyleIDs_.contains(id)) {
            Reporter* reporter = services_.reporter;
            auto alert = [reporter] {
                reporter->showAlert(kOpenStylesChangedTitle, kOpenStylesChangedText);
            };
            if (services_.onMainThread) {
                services_.onMainThread(alert);
            } else {
                alert();
            }
            break;
        }
    }
}

void SyncEngine::applyPreferencesRecord(const RemoteRecord& record) {
    state_.preferencesTag = record.tag;
    if (Status applied = applyPreferences(record.body, *services_.settings); !applied) {
        note("The cloud preferences cannot be read: " + applied.error());
        return;
    }
    note("Applied the cloud preferences.");
    NotificationCenter* center = services_.notifications;
    auto notify = [center] { center->post(names::kPrefsChangedRemotely); };
    if (services_.onMainThread) {
        services_.onMainThread(notify);
    } else {
        notify();
    }
}

void SyncEngine::savePreferencesRecord() {
    const SaveOutcome saved = services_.cloud->save(
        kPreferencesRecord, encodePreferences(*services_.settings), state_.preferencesTag);
    if (saved.error) {
        note("Cannot save the cloud preferences: " + saved.error->message);
        return;
    }
    state_.preferencesTag = saved.tag;
}

void SyncEngine::addDeleted(std::vector<styleContainer> styles) {
    for (styleContainer& style : styles) {
        state_.deletedStyles.push_back(std::move(style));
    }
    if (state_.deletedStyles.size() > kMaxDeletedStyles) {
        state_.deletedStyles.erase(
            state_.deletedStyles.begin(),
            state_.deletedStyles.end() - static_cast<std::ptrdiff_t>(kMaxDeletedStyles));
    }
}

}  // namespace orlavine::sync
