#pragma once
// A record store in a folder of a WebDAV account (Nextcloud, ownCloud, Apache mod_dav, ...): one
// file per record, the ETag as change tag, every save conditional with If-Match or
// If-None-Match: *. 401 and 403 mean the account refused the credentials. Requests go through the
// program's Downloader: TLS verified, bounded in time and size, no redirects followed, and ended
// by cancel().

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>

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
    // How long a save waits for a freshly written record's tag to settle (see save()).
    std::chrono::milliseconds settleTimeout{3000};
};

class WebDavRecordStore : public RecordStore {
  public:
    explicit WebDavRecordStore(WebDavAccount account);

    FetchOutcome fetch(const std::vector<std::string>& names) override;
    TagOutcome currentTag(const std::string& name) override;
    SaveOutcome save(const std::string& name, std::string_view body,
                     const std::optional<std::string>& expectedTag) override;
    std::optional<CloudError> checkAccount() override;
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
    WebRequest request(WebMethod method, std::string address) const;
    Result<WebAnswer> send(const WebRequest& request);
    std::string recordURL(const std::string& name) const;
    // Waits `duration`; false at once when cancelled.
    bool pause(std::chrono::milliseconds duration);

    WebDavAccount account_;
    Downloader downloader_;
    TransferCounter counter_;
    std::atomic<bool> cancelled_{false};
    std::mutex pauseMutex_;
    std::condition_variable pauseEnded_;
};

// "W/\"abc\"" and "\"abc\"" name the same content; tags are compared without the weak mark.
std::string normalizeTag(std::string_view etag);

}  // namespace orlavine::sync
