#pragma once
// The cloud sync engine: mirrors the library and the synced settings into a record store and
// merges what other machines wrote there back into the library. Every entry point does nothing
// while "UseiCloud" is off. Operations run one at a time (a second one waits for the first); the
// engine's state lock is never held across a request, a library transaction or a notice, so the
// queries (syncInProgress, deletedStyles, ...) answer at once while an operation waits on the
// network, and observers of its notices may call back into it. Merges run inside a library
// transaction, against the library file as it is then. The store calls uploadDatabase after
// local changes, so the engine must outlive the style store it uploads for.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "model/notification_center.h"
#include "model/records.h"
#include "model/reporter.h"
#include "model/settings_store.h"
#include "model/style_store.h"
#include "sync/record_store.h"
#include "sync/sync_state.h"

namespace orlavine::sync {

inline constexpr const char* kErrorDecodingCloudLine = "Error decoding the cloud library.";
inline constexpr const char* kErrorReadingCloudTitle = "Error reading the cloud library";
inline constexpr const char* kErrorReadingCloudText =
    "Orlavine may need to be updated, or the style database may be corrupt. Please try resetting "
    "the database from Preferences.";
inline constexpr const char* kOpenStylesChangedTitle = "Open Styles Changed in the Cloud Library";
inline constexpr const char* kOpenStylesChangedText =
    "One or more styles open in the Style Editor changed in the cloud library, and have been "
    "forcibly closed.";

struct SyncServices {
    StyleStore* store = nullptr;                  // required
    SettingsStores* settings = nullptr;           // required
    NotificationCenter* notifications = nullptr;  // required
    Reporter* reporter = nullptr;                 // required
    RecordStore* cloud = nullptr;                 // required
    // Where the engine keeps its state between runs; usually the library's folder.
    std::filesystem::path stateFolder;
    // Runs work on the main thread; none runs it on the calling thread.
    std::function<void(std::function<void()>)> onMainThread;
};

class SyncEngine : public CloudUploader {
  public:
    explicit SyncEngine(SyncServices services);
    SyncEngine(const SyncEngine&) = delete;
    SyncEngine& operator=(const SyncEngine&) = delete;

    // Switches sync on for a first merge that keeps every local style, or off. Off leaves the
    // records and the library as they are.
    void enableSync();
    void disableSync();

    // Fetches the library record and runs the first merge, or uploads the library when the cloud
    // has none.
    void startCloudSync();
    // Fetches the preferences record and applies it, or creates it from the settings.
    void fetchCloudPreferences();
    // Fetches both records and merges what changed, as a change notice from the cloud would.
    void handleRemoteChange();
    // Compares the change tags with the ones last seen: runs handleRemoteChange when either
    // changed, else uploads local changes the cloud has not seen. Downloads nothing when nothing
    // changed. Returns whether the cloud had changed.
    bool poll();
    // Sends the library file as the library record (called after every save). While another
    // operation runs it returns at once and leaves the upload to the next poll.
    void uploadDatabase(const std::filesystem::path& databaseFile) override;
    void pushPreferences();
    // Keeps the copy of the library from before sync first changed it.
    void makePreCloudCopy();

    // Styles merges removed from the library, oldest first.
    std::vector<styleContainer> deletedStyles() const;
    // Puts the entries at `rows` of deletedStyles back at the end of the library, highest row
    // first, and saves. Returns how many were recovered.
    std::size_t recover(std::vector<std::size_t> rows);

    // Ends the request in flight and every later one (the program is closing): the operation
    // that waits on it returns at once with an error.
    void cancel();

    bool syncInProgress() const;
    bool firstSyncStarted() const;
    // Whether a library record has been fetched or saved from this folder before.
    bool hasSyncedBefore() const;
    void setPendingOpenRequest(std::optional<std::int64_t> uniqueID);
    void setFirstUpdatePending(bool pending);
    void setOpenStyleIDs(std::set<std::int64_t> ids);

    // What the operations did since the last call, one line each, for the command line.
    std::vector<std::string> takeEvents();
    // Whether any of those lines since the last call told of a failure: something the operation
    // was to do was not done.
    bool takeFailure();

  private:
    class Operation;
    bool useCloud() const;
    void turnOffForAuthentication();
    void note(std::string line);
    // Notes a line that tells of a failure.
    void fail(std::string line);
    void post(const char* name, UserInfo info = {});
    void persist();
    std::optional<styleDatabase> decodeCloud(const std::string& body);
    // Sends `bytes` as the library record, conditional on the held tag.
    bool uploadBytes(Operation& op, const std::string& bytes, std::int64_t revision);
    bool uploadLocal(Operation& op);
    bool hasUnsyncedChanges(const styleDatabase& local) const;
    // Merges the cloud's library into the library file, as a start of sync does (keeping every
    // style added here) when `firstMerge` or when the library has changes the cloud has not
    // seen, else taking the cloud's changes.
    void runMerge(Operation& op, const styleDatabase& cloud, bool firstMerge);
    void applyPreferencesRecord(Operation& op, const RemoteRecord& record);
    void savePreferencesRecord(Operation& op);
    void addDeleted(std::vector<styleContainer> styles);
    void handleRemoteChange(Operation& op);
    void onMainThread(std::function<void()> work);

    SyncServices services_;
    // Serialises the operations; held across requests, but taken by no query.
    std::mutex runMutex_;
    // Guards the members below; only ever held for a moment.
    mutable std::mutex mutex_;
    SyncState state_;
    std::atomic<bool> syncInProgress_{false};
    std::atomic<bool> firstSyncStarted_{false};
    // A local change asked for an upload while an operation ran; the next poll sends it.
    std::atomic<bool> uploadRequested_{false};
    bool firstUpdatePending_ = false;
    // Notices of the running operation, posted once it has let go of its locks.
    std::vector<std::pair<std::string, UserInfo>> queuedPosts_;
    std::vector<std::function<void()>> queuedMainThread_;
    std::optional<std::int64_t> pendingOpen_;
    std::set<std::int64_t> openStyleIDs_;
    std::vector<std::string> events_;
    bool failed_ = false;
};

}  // namespace orlavine::sync
