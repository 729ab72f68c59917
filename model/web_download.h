#pragma once
// Downloads of whole resources over http and https: TLS verified, bounded in time, size and
// redirects, polite to servers (at most a few requests at once to one host; a 429 or 503 answer
// is retried after a growing wait that honours Retry-After). One Downloader is shared by
// everything in a process that downloads, so that the per-host bound holds across threads.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "model/result.h"
#include "model/settings_store.h"

namespace orlavine {

struct DownloadLimits {
    std::chrono::milliseconds connectTimeout{10'000};
    std::chrono::milliseconds totalTimeout{60'000};
    // A transfer that receives nothing for this long is given up.
    std::chrono::milliseconds stallTimeout{20'000};
    std::size_t maxBytes = std::size_t{20} << 20;
    long maxRedirects = 5;
    std::size_t maxAddressLength = 8192;
    // Further attempts after a 429 or 503 answer, and the wait before the first of them; each
    // further wait doubles. A Retry-After answer header replaces the wait, up to maxRetryWait.
    int retries = 3;
    std::chrono::milliseconds firstRetryWait{1'000};
    std::chrono::milliseconds maxRetryWait{30'000};
    int requestsPerHost = 2;
};

struct DownloadOptions {
    DownloadLimits limits = {};
    // A PEM file of certificates to trust instead of the system's (tests' loopback servers).
    std::string certificateFile = {};
    std::string userAgent = "Orlavine/" ORLAVINE_VERSION;
};

// The options in force: the defaults with the "CAFile" application setting.
DownloadOptions downloadOptions(const SettingsStore& appSettings);

// Whether `address` may be downloaded: at most maxAddressLength characters, http or https, a
// host of ASCII letters, digits, dots and dashes (or an IP address), no user name or password.
// The error says what is wrong, in words for the user.
Status checkWebAddress(std::string_view address, const DownloadLimits& limits = {});

class Downloader {
  public:
    explicit Downloader(DownloadOptions options = {});
    Downloader(const Downloader&) = delete;
    Downloader& operator=(const Downloader&) = delete;

    // The body of a 2xx answer, or why there is none. `cancel`, when given and set, ends the
    // download (and any wait before a retry) early with an error.
    Result<std::string> fetch(std::string_view address, const std::atomic<bool>* cancel = nullptr);

    const DownloadOptions& options() const { return options_; }

  private:
    struct Attempt {
        Result<std::string> body = Error{};
        long status = 0;
        std::chrono::milliseconds retryAfter{-1};  // from the answer's Retry-After, if any
    };
    Attempt attempt(const std::string& address, const std::atomic<bool>* cancel);
    // False when `cancel` was set while waiting for a free slot.
    bool acquireHost(const std::string& host, const std::atomic<bool>* cancel);
    void releaseHost(const std::string& host);

    DownloadOptions options_;
    std::mutex hostsMutex_;
    std::condition_variable hostFreed_;
    std::map<std::string, int> busyHosts_;
};

}  // namespace orlavine
