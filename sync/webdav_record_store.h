#pragma once
// A record store in a folder of a WebDAV account (Nextcloud, ownCloud, Apache mod_dav, nginx,
// rclone, ...): one file per record, and beside it a small revision file holding the record's
// content tag, which is the change tag. Servers differ in what they enforce, so correctness
// rests on none of it: every save reads the record, checks its content tag against the one the
// caller saw, writes, and reads the record back, all while holding an exclusive WebDAV lock on
// the folder's lock file; on a server without working locks the write is conditional instead
// (If-Match / If-None-Match: *), which is used only where the server was seen to refuse a stale
// one. A folder or record that is missing is recognised whatever status the server gives for it.
// 401 and 403 mean the account refused the credentials. Requests go through the program's
// Downloader: TLS verified, bounded in time and size, no redirects followed, and ended by
// cancel().

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "net/web_download.h"
#include "sync/record_store.h"

namespace orlavine::sync {

struct WebDavAccount {
    // The folder of the account the records live in, e.g. https://host/remote.php/dav/files/me/.
    std::string folderURL;
    std::string user;
    std::string password;
    // A certificate file to trust instead of the system's (tests with a loopback server).
    std::string caFile;
    std::chrono::seconds connectTimeout{10};
    std::chrono::seconds totalTimeout{120};
    std::size_t maxRecordBytes = 0;  // 0: kMaxRecordBytes
    // How long a save waits for another machine to let go of the folder's lock.
    std::chrono::milliseconds lockWait{30000};
};

inline constexpr const char* kLockInsteadLine =
    "This server ignores conditional writes; syncing with a lock instead.";
inline constexpr const char* kConditionalInsteadLine =
    "This server has no working WebDAV locks; syncing with conditional writes instead.";
inline constexpr const char* kUnsafeServerText =
    "this server neither refuses a write based on an outdated copy nor supports WebDAV locks, so "
    "two machines could overwrite each other's changes; sync cannot work with it";

class WebDavRecordStore : public RecordStore {
  public:
    explicit WebDavRecordStore(WebDavAccount account);

    FetchOutcome fetch(const std::vector<std::string>& names) override;
    TagOutcome currentTag(const std::string& name) override;
    SaveOutcome save(const std::string& name, std::string_view body,
                     const std::optional<std::string>& expectedTag) override;
    std::optional<CloudError> checkAccount() override;
    // Makes every missing folder of the address, and finds out how this server can be written
    // safely; fails when it cannot.
    PrepareOutcome prepare() override;
    bool waitForChange(std::chrono::milliseconds timeout) override;
    void cancel() override;

    struct Traffic {
        std::size_t requests = 0;
        std::size_t bytesSent = 0;
        std::size_t bytesReceived = 0;
    };
    // What this store has sent and received so far.
    Traffic traffic() const;

  private:
    enum class Writes { unknown, locked, conditional };
    struct Probe {
        std::optional<CloudError> error;
        bool locks = false;        // a second exclusive lock on a locked file is refused
        bool conditional = false;  // a stale If-Match and If-None-Match: * are refused
    };
    struct Current {
        std::optional<CloudError> error;
        bool exists = false;
        std::string tag;   // content tag
        std::string etag;  // the server's own, for conditional writes
    };

    WebRequest request(WebMethod method, std::string address) const;
    Result<WebAnswer> send(const WebRequest& request);
    std::string recordURL(const std::string& name) const;
    std::string lockURL() const;
    // Waits `duration`; false at once when cancelled.
    bool pause(std::chrono::milliseconds duration);

    Current readRecord(const std::string& name, std::string* body);
    // Whether `address` does not exist, judged from a failed answer and, for statuses that may
    // mean anything, from a PROPFIND of it.
    bool absent(const Result<WebAnswer>& answer, const std::string& address);
    // Makes the folder at `address` and every missing one above it; adds what it made to `made`.
    std::optional<CloudError> makeFolder(const std::string& address, std::vector<std::string>* made,
                                         int depth);
    std::optional<CloudError> ensureFolder(std::vector<std::string>* made);
    Probe probe();
    // Chooses the write protocol once per store, probing the server when needed.
    std::optional<CloudError> chooseWrites();
    // Takes the folder's lock, waiting for another holder up to lockWait; sets `token`.
    std::optional<CloudError> takeLock(std::string& token, bool wait);
    void releaseLock(const std::string& token);
    std::optional<CloudError> writeRevision(const std::string& name, const std::string& tag);
    SaveOutcome saveChecked(const std::string& name, std::string_view body,
                            const std::optional<std::string>& expectedTag);

    WebDavAccount account_;
    Downloader downloader_;
    TransferCounter counter_;
    Writes writes_ = Writes::unknown;
    std::atomic<bool> cancelled_{false};
    std::mutex pauseMutex_;
    std::condition_variable pauseEnded_;
};

// "W/\"abc\"" and "\"abc\"" name the same content; tags are compared without the weak mark.
std::string normalizeTag(std::string_view etag);

}  // namespace orlavine::sync
