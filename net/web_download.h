#pragma once
// Downloads of whole resources, and requests of other methods, over http and https: TLS verified,
// bounded in time, size and redirects, polite to servers (at most a few requests at once to one
// host; a 429 or 503 answer to a request that may be repeated is retried after a growing wait
// that honours Retry-After). Every address asked, redirect targets included, passes
// checkWebAddress first. One Downloader is shared by everything in a process that downloads, so
// that the per-host bound holds across threads.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "model/result.h"
#include "net/download_options.h"
#include "net/web_address.h"
#include "net/web_request.h"

namespace orlavine {

class Downloader {
  public:
    explicit Downloader(DownloadOptions options = {});
    Downloader(const Downloader&) = delete;
    Downloader& operator=(const Downloader&) = delete;

    // The body of a 2xx answer, or why there is none. Redirects are followed. `cancel`, when given
    // and set, ends the download (and any wait before a retry) early with an error.
    Result<std::string> fetch(std::string_view address, const std::atomic<bool>* cancel = nullptr);

    // The answer to `request` whatever its status; an error only when there is no whole answer
    // (a refused address, the network, a bound of the options, a cancel).
    Result<WebAnswer> request(const WebRequest& request);

    const DownloadOptions& options() const { return options_; }

  private:
    struct Pass {
        Result<WebAnswer> answer = Error{};
        std::chrono::milliseconds retryAfter{-1};
    };
    // The request from its address to the end of its redirects, once.
    Pass pass(const WebRequest& request);
    // False when `cancel` was set while waiting for a free slot.
    bool acquireHost(const std::string& host, const std::atomic<bool>* cancel);
    void releaseHost(const std::string& host);

    DownloadOptions options_;
    std::mutex hostsMutex_;
    std::condition_variable hostFreed_;
    std::map<std::string, int> busyHosts_;
};

}  // namespace orlavine
