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

namespace {
// Held after a save found the record changed; equals no tag a store gives.
constexpr const char* kTagOfAChangedRecord = "changed-elsewhere";
}  // namespace

// One operation of the engine: waits for the one before it, holds the state lock except around
// requests and library transactions (`outside`), and on its end keeps the state and posts what
// it queued, with no lock held.
class SyncEngine::Operation {
  public:
    // Waits for the operation before it, unless `run` already holds the operations' lock.
    explicit Operation(SyncEngine& engine, std::unique_lock<std::mutex> run = {})
        : engine_(engine),
          run_(run.owns_lock() ? std::move(run) : std::unique_lock(engine.runMutex_)),
          state_(engine.mutex_) {
        // Another process (a command run meanwhile) may have moved the state on.
        SyncState kept = loadSyncState(engine_.services_.stateFolder);
        engine_.state_ = std::move(kept);
    }
    ~Operation() {
        if (engine_.uploadRequested_.exchange(false)) {
            engine_.state_.uploadPending = true;  // a change came while this one ran
        }
        engine_.persist();
        auto posts = std::exchange(engine_.queuedPosts_, {});
        auto work = std::exchange(engine_.queuedMainThread_, {});
        state_.unlock();
        run_.unlock();
        for (auto& [name, info] : posts) {
            engine_.services_.notifications->post(name, std::move(info));
        }
        for (auto& w : work) {
            if (engine_.services_.onMainThread) {
                engine_.services_.onMainThread(std::move(w));
            } else {
                w();
            }
        }
    }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    template <class F>
    auto outside(F f) {
        state_.unlock();
        struct Relock {
            std::unique_lock<std::mutex>& lock;
            ~Relock() { lock.lock(); }
        } relock{state_};
        return f();
    }

  private:
    SyncEngine& engine_;
    std::unique_lock<std::mutex> run_;
    std::unique_lock<std::mutex> state_;
};

SyncEngine::SyncEngine(SyncServices services) : services_(std::move(services)) {
    state_ = loadSyncState(services_.stateFolder);
}

// ---- switching on and off ----

void SyncEngine::enableSync() {
    Operation op(*this);
    if (Status s = services_.settings->app.set(keys::kUseCloud, true); !s) {
        fail("Cannot switch sync on: " + s.error());
        return;
    }
    state_.firstMergeAfterEnabling = true;
    post(names::kLockForCloud);
}

void SyncEngine::disableSync() {
    Operation op(*this);
    if (Status s = services_.settings->app.set(keys::kUseCloud, false); !s) {
        fail("Cannot switch sync off: " + s.error());
    }
}

// ---- the operations ----

void SyncEngine::startCloudSync() {
    if (!useCloud()) {
        return;
    }
    Operation op(*this);
    syncInProgress_ = true;
    firstSyncStarted_ = true;
    const FetchOutcome fetched =
        op.outside([&] { return services_.cloud->fetch({kDatabaseRecord}); });
    if (fetched.error) {
        if (fetched.error->kind == CloudError::Kind::notAuthenticated) {
            turnOffForAuthentication();
            post(names::kRefreshTable);
        } else {
            fail("Cannot reach the cloud library: " + fetched.error->message);
            post(names::kCloudError);
        }
    }
    if (!fetched.records) {
        // Nothing came back; the next start or poll tries again, and the list is not left locked.
        syncInProgress_ = false;
        return;
    }
    const auto record = fetched.records->find(kDatabaseRecord);
    if (record == fetched.records->end()) {
        state_.databaseTag.reset();
        if (uploadLocal(op)) {
            note("The cloud held no library; uploaded this one.");
            state_.firstMergeAfterEnabling = false;
        }
        syncInProgress_ = false;
        post(names::kRefreshTable);
        return;
    }
    state_.databaseTag = record->second.tag;
    if (const std::optional<styleDatabase> cloud = decodeCloud(record->second.body)) {
        runMerge(op, *cloud, true);
    }
    syncInProgress_ = false;
    if (firstUpdatePending_) {
        firstUpdatePending_ = false;
        post(names::kPerformFirstUpdate);
    }
    if (pendingOpen_) {
        post(names::kOpenStyleNotif, {{"id", *pendingOpen_}});
        pendingOpen_.reset();
    }
}

void SyncEngine::fetchCloudPreferences() {
    if (!useCloud()) {
        return;
    }
    Operation op(*this);
    const FetchOutcome fetched =
        op.outside([&] { return services_.cloud->fetch({kPreferencesRecord}); });
    if (fetched.error) {
        if (fetched.error->kind == CloudError::Kind::notAuthenticated) {
            turnOffForAuthentication();
        } else {
            fail("Cannot fetch the cloud preferences: " + fetched.error->message);
        }
    }
    if (!fetched.records) {
        return;
    }
    const auto record = fetched.records->find(kPreferencesRecord);
    if (record == fetched.records->end()) {
        state_.preferencesTag.reset();
        savePreferencesRecord(op);
    } else {
        applyPreferencesRecord(op, record->second);
    }
}

void SyncEngine::handleRemoteChange() {
    if (!useCloud()) {
        return;
    }
    Operation op(*this);
    handleRemoteChange(op);
}

void SyncEngine::handleRemoteChange(Operation& op) {
    const FetchOutcome fetched = op.outside([&] {
        return services_.cloud->fetch({kDatabaseRecord, kPreferencesRecord});
    });
    if (fetched.error) {
        if (fetched.error->kind == CloudError::Kind::notAuthenticated) {
            turnOffForAuthentication();
            post(names::kRefreshTable);
            return;
        }
        fail("Cannot fetch the cloud records: " + fetched.error->message);
    }
    if (!fetched.records) {
        return;
    }
    const auto& records = *fetched.records;
    const auto library = records.find(kDatabaseRecord);
    if (library == records.end()) {
        state_.databaseTag.reset();
        if (uploadLocal(op)) {
            note("The cloud held no library; uploaded this one.");
        }
        post(names::kRefreshTable);
    } else if (library->second.tag != state_.databaseTag) {
        state_.databaseTag = library->second.tag;
        if (const std::optional<styleDatabase> cloud = decodeCloud(library->second.body)) {
            runMerge(op, *cloud, false);
        }
    }
    const auto prefs = records.find(kPreferencesRecord);
    if (prefs == records.end()) {
        state_.preferencesTag.reset();
    } else if (prefs->second.tag != state_.preferencesTag) {
        applyPreferencesRecord(op, prefs->second);
    }
}

bool SyncEngine::poll() {
    if (!useCloud()) {
        return false;
    }
    Operation op(*this);
    std::optional<std::string> tags[2];
    const char* recordNames[2] = {kDatabaseRecord, kPreferencesRecord};
    for (int i = 0; i < 2; ++i) {
        TagOutcome tag = op.outside([&] { return services_.cloud->currentTag(recordNames[i]); });
        if (tag.error) {
            if (tag.error->kind == CloudError::Kind::notAuthenticated) {
                turnOffForAuthentication();
                post(names::kRefreshTable);
            } else {
                fail("Cannot reach the cloud library: " + tag.error->message);
            }
            return false;
        }
        tags[i] = std::move(tag.tag);
    }
    if (tags[0] != state_.databaseTag || tags[1] != state_.preferencesTag) {
        handleRemoteChange(op);
        return true;
    }
    const styleDatabase local = op.outside([&] {
        services_.store->refresh();
        return services_.store->snapshot();
    });
    if (hasUnsyncedChanges(local) && uploadLocal(op)) {
        note("Uploaded the changes made here.");
    }
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
    // A change made while another operation waits on the network is not held up by it: the
    // upload is left to the next poll.
    std::unique_lock run(runMutex_, std::try_to_lock);
    if (!run.owns_lock()) {
        uploadRequested_ = true;
        return;
    }
    Operation op(*this, std::move(run));
    Result<std::string> bytes =
        op.outside([&] { return readWholeFile(databaseFile, kMaxDatabaseBytes); });
    Result<styleDatabase> db = bytes ? op.outside([&] { return decodeDatabase(*bytes); })
                                     : Result<styleDatabase>(Error{bytes.error()});
    if (!db) {
        // Never send a library that would not read back; the next poll sends the store's copy.
        state_.uploadPending = true;
        fail("The library file cannot be uploaded: " + db.error());
        return;
    }
    uploadBytes(op, *bytes, db->randomHash);
}

void SyncEngine::pushPreferences() {
    if (!useCloud()) {
        return;
    }
    Operation op(*this);
    savePreferencesRecord(op);
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
    Operation op(*this);
    std::sort(rows.begin(), rows.end(), std::greater<>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::vector<styleContainer> styles;
    for (const std::size_t row : rows) {
        if (row < state_.deletedStyles.size()) {
            styles.push_back(state_.deletedStyles[row]);
        }
    }
    if (styles.empty()) {
        return 0;
    }
    const Result<std::size_t> added = op.outside([&] {
        return services_.store->change(
            [&](styleDatabase& db, LibraryChange& changed) {
                for (styleContainer& style : styles) {
                    // A style that came back meanwhile keeps its number; the recovered copy gets
                    // another.
                    const bool taken = std::any_of(
                        db.styles.begin(), db.styles.end(),
                        [&](const styleContainer& s) { return s.uniqueID == style.uniqueID; });
                    if (taken) {
                        style.uniqueID = newUniqueID(db);
                    }
                    changed.touch(style.uniqueID);
                    db.styles.push_back(std::move(style));
                }
                return styles.size();
            },
            ChangeOrigin::localUnsent);
    });
    if (!added) {
        fail("Cannot put the styles back: " + added.error());
        return 0;
    }
    for (const std::size_t row : rows) {
        if (row < state_.deletedStyles.size()) {
            state_.deletedStyles.erase(state_.deletedStyles.begin() +
                                       static_cast<std::ptrdiff_t>(row));
        }
    }
    post(names::kRefreshTableAndScroll);
    if (useCloud()) {
        uploadLocal(op);
    }
    return *added;
}

// ---- state ----

void SyncEngine::cancel() {
    services_.cloud->cancel();
}

bool SyncEngine::syncInProgress() const {
    return syncInProgress_;
}

bool SyncEngine::firstSyncStarted() const {
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

bool SyncEngine::takeFailure() {
    std::lock_guard lock(mutex_);
    return std::exchange(failed_, false);
}

// ---- helpers (state lock held) ----

bool SyncEngine::useCloud() const {
    return services_.settings->app.boolValue(keys::kUseCloud);
}

void SyncEngine::turnOffForAuthentication() {
    syncInProgress_ = false;
    (void)services_.settings->app.set(keys::kUseCloud, false);
    fail("The account refused the user name or password; sync is now off.");
}

void SyncEngine::note(std::string line) {
    events_.push_back(std::move(line));
}

void SyncEngine::fail(std::string line) {
    note(std::move(line));
    failed_ = true;
}

void SyncEngine::post(const char* name, UserInfo info) {
    queuedPosts_.emplace_back(name, std::move(info));
}

void SyncEngine::onMainThread(std::function<void()> work) {
    queuedMainThread_.push_back(std::move(work));
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
    onMainThread(
        [reporter] { reporter->showAlert(kErrorReadingCloudTitle, kErrorReadingCloudText); });
    fail("The cloud library cannot be read; the library here is left as it is.");
    return std::nullopt;
}

bool SyncEngine::uploadBytes(Operation& op, const std::string& bytes, std::int64_t revision) {
    const std::optional<std::string> expected = state_.databaseTag;
    const SaveOutcome saved =
        op.outside([&] { return services_.cloud->save(kDatabaseRecord, bytes, expected); });
    if (saved.error) {
        state_.uploadPending = true;
        if (saved.error->kind == CloudError::Kind::conflict) {
            // The record's tag as held is no longer the cloud's, even where the tag the cloud
            // shows has not moved (a writer that stopped half-way): the next poll reads it.
            state_.databaseTag = kTagOfAChangedRecord;
            note("Another machine changed the cloud library first; merging at the next poll.");
        } else {
            fail("Upload failed, trying again at the next poll: " + saved.error->message);
        }
        return false;
    }
    state_.databaseTag = saved.tag;
    state_.uploadPending = false;
    state_.syncedRevision = revision;
    (void)services_.settings->app.setDate(keys::kLastSuccessfulSync, Date::now());
    return true;
}

bool SyncEngine::uploadLocal(Operation& op) {
    auto [bytes, revision] = op.outside([&] {
        services_.store->refresh();
        return services_.store->read([](const styleDatabase& db) {
            return std::make_pair(encodeDatabase(db), db.randomHash);
        });
    });
    return uploadBytes(op, bytes, revision);
}

bool SyncEngine::hasUnsyncedChanges(const styleDatabase& local) const {
    if (state_.uploadPending) {
        return true;
    }
    return state_.syncedRevision && local.randomHash != *state_.syncedRevision;
}

void SyncEngine::runMerge(Operation& op, const styleDatabase& cloud, bool startOfSync) {
    const Date lastSync = services_.settings->app.dateValue(keys::kLastSuccessfulSync);
    const bool afterEnabling = state_.firstMergeAfterEnabling;
    const SyncState before = state_;
    // What the merge inside the transaction decided, read once it has ended.
    struct Decision {
        bool unchanged = false;
        bool tookCloudCopy = false;  // the library now equals the cloud's: nothing to send
        bool asFirstMerge = false;
        std::int64_t revision = 0;
        std::size_t styles = 0;
        std::vector<std::int64_t> changedIDs;
        std::vector<styleContainer> deleted;
    };
    const Result<Decision> decided = op.outside([&] {
        return services_.store->change(
            [&](styleDatabase& db, LibraryChange& changed) {
                Decision d;
                // Changes made here that the cloud has not seen are reconciled like a start of
                // sync, so styles added here are kept rather than taken for deletions.
                const bool unsynced =
                    before.uploadPending ||
                    (before.syncedRevision && db.randomHash != *before.syncedRevision);
                d.asFirstMerge = startOfSync || unsynced;
                if (d.asFirstMerge) {
                    FirstMergeResult merged =
                        firstMerge(FirstMergeInput{cloud, db, lastSync, afterEnabling});
                    if (merged.unchanged) {
                        d.unchanged = true;
                        d.revision = db.randomHash;
                        return d;
                    }
                    d.deleted = std::move(merged.deleted);
                    d.tookCloudCopy = merged.merged.styles == cloud.styles;
                    d.styles = merged.merged.styles.size();
                    db = std::move(merged.merged);
                    if (d.tookCloudCopy) {
                        db.randomHash = cloud.randomHash;
                        db.dateModified = cloud.dateModified;
                    }
                } else {
                    RemoteMergeResult merged = remoteMerge(cloud, db);
                    d.tookCloudCopy = true;
                    d.changedIDs = std::move(merged.changedIDs);
                    d.deleted = std::move(merged.deleted);
                    d.styles = merged.merged.styles.size();
                    db = std::move(merged.merged);
                }
                d.revision = db.randomHash;
                changed.everything = true;
                return d;
            },
            // A library that now differs from the cloud's gets a revision of its own, and is
            // sent below; the cloud's copy taken as it is keeps the cloud's revision.
            ChangeOrigin::received);
    });
    if (!decided) {
        fail("Cannot write the merged library: " + decided.error());
        return;
    }
    const Decision& d = *decided;
    state_.firstMergeAfterEnabling = false;
    if (d.unchanged) {
        state_.syncedRevision = d.revision;
        state_.uploadPending = false;
        post(names::kRefreshTable);
        note("The library is the same as the cloud's.");
        return;
    }
    if (!d.deleted.empty()) {
        note(std::to_string(d.deleted.size()) + " style(s) left the library; see recover.");
        addDeleted(d.deleted);
        post(names::kDeletedStylesChanged);
    }
    if (d.tookCloudCopy) {
        state_.syncedRevision = d.revision;
        state_.uploadPending = false;
        (void)services_.settings->app.setDate(keys::kLastSuccessfulSync, Date::now());
    }
    if (d.asFirstMerge) {
        note("Merged the cloud library (" + std::to_string(d.styles) + " styles).");
        if (!d.tookCloudCopy) {
            // Until this upload succeeds the next poll sends it again.
            state_.uploadPending = true;
            uploadLocal(op);
        }
        post(names::kRefreshTable);
        return;
    }
    note("Took the changes from the cloud (" + std::to_string(d.changedIDs.size()) +
         " style(s) changed, " + std::to_string(d.deleted.size()) + " removed).");
    post(names::kRefreshTable);
    post(names::kStylesChangedInCloud, {{"changedIDs", d.changedIDs}});
    for (const std::int64_t id : d.changedIDs) {
        post(names::kCloseProperties, {{"id", id}});
    }
    const bool openChanged =
        std::any_of(d.changedIDs.begin(), d.changedIDs.end(),
                    [&](std::int64_t id) { return openStyleIDs_.contains(id); });
    if (openChanged) {
        Reporter* reporter = services_.reporter;
        onMainThread(
            [reporter] { reporter->showAlert(kOpenStylesChangedTitle, kOpenStylesChangedText); });
    }
}

void SyncEngine::applyPreferencesRecord(Operation& op, const RemoteRecord& record) {
    state_.preferencesTag = record.tag;
    const Status applied =
        op.outside([&] { return applyPreferences(record.body, *services_.settings); });
    if (!applied) {
        fail("The cloud preferences cannot be read: " + applied.error());
        return;
    }
    note("Applied the cloud preferences.");
    NotificationCenter* center = services_.notifications;
    onMainThread([center] { center->post(names::kPrefsChangedRemotely); });
}

void SyncEngine::savePreferencesRecord(Operation& op) {
    const std::optional<std::string> expected = state_.preferencesTag;
    const SaveOutcome saved = op.outside([&] {
        return services_.cloud->save(kPreferencesRecord, encodePreferences(*services_.settings),
                                     expected);
    });
    if (saved.error) {
        fail("Cannot save the cloud preferences: " + saved.error->message);
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
