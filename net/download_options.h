#pragma once
// The bounds every request over the network keeps, and the options of a downloader.

#include <chrono>
#include <cstddef>
#include <string>

#include "model/settings_store.h"

namespace orlavine {

struct DownloadLimits {
    std::chrono::milliseconds connectTimeout{10'000};
    std::chrono::milliseconds totalTimeout{60'000};
    // A transfer that sends and receives nothing for this long is given up.
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

}  // namespace orlavine
