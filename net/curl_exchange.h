#pragma once
// One HTTP exchange through libcurl: a request and its answer, no redirect followed, within the
// downloader's bounds (http and https only, verified TLS, time-outs, a stall limit, a cap on the
// decoded body) and ended within a tenth of a second of a cancel. Used by the Downloader only.

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>

#include "net/download_options.h"
#include "net/web_request.h"

namespace orlavine::detail {

struct Exchange {
    // Why there is no whole answer, in words for the user; nothing when there is one.
    std::optional<std::string> failure;
    bool cancelled = false;
    long status = 0;
    // Where a 3xx answer points, made absolute; empty for any other answer.
    std::string redirect;
    std::chrono::milliseconds retryAfter{-1};  // from the answer's Retry-After, if any
    std::map<std::string, std::string> headers;
    std::string body;
    std::size_t bytesSent = 0;
    std::size_t bytesReceived = 0;
};

// Sends `request` to `address` (both already checked), with its credentials only when
// `withCredentials`, keeping at most `maxBytes` of the answer's body.
Exchange exchange(const DownloadOptions& options, const WebRequest& request,
                  const std::string& address, bool withCredentials, std::size_t maxBytes);

// Starts libcurl once per process; the Downloader does it before any exchange.
void initialiseCurl();

}  // namespace orlavine::detail
