#include "net/web_download.h"

#include <fmt/format.h>

#include <algorithm>
#include <thread>
#include <utility>

#include "net/curl_exchange.h"

namespace orlavine {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr std::string_view kDownloadCancelled = "The download was cancelled.";
constexpr std::string_view kRequestCancelled = "The request was cancelled.";

bool cancelled(const std::atomic<bool>* cancel) {
    return cancel != nullptr && cancel->load();
}

bool sleepUnlessCancelled(milliseconds wait, const std::atomic<bool>* cancel) {
    const auto until = Clock::now() + wait;
    while (Clock::now() < until) {
        if (cancelled(cancel)) {
            return false;
        }
        std::this_thread::sleep_for(
            std::min<Clock::duration>(milliseconds(20), until - Clock::now()));
    }
    return !cancelled(cancel);
}

bool hasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// Why a redirect target may not be asked, in words for the user.
std::string refusedRedirect(const std::string& target, const DownloadLimits& limits) {
    const Status usable = checkWebAddress(target, limits);
    if (usable.error() == "Only http and https addresses can be downloaded.") {
        return "The address redirects to something other than http or https.";
    }
    return fmt::format("The address redirects to an address that is not asked: {}", usable.error());
}

}  // namespace

Downloader::Downloader(DownloadOptions options) : options_(std::move(options)) {
    detail::initialiseCurl();
}

bool Downloader::acquireHost(const std::string& host, const std::atomic<bool>* cancel) {
    std::unique_lock lock(hostsMutex_);
    const auto free = [&] {
        return busyHosts_[host] < std::max(1, options_.limits.requestsPerHost);
    };
    // Woken by every release; the time-out only lets a cancel end the wait.
    while (!hostFreed_.wait_for(lock, milliseconds(50), free)) {
        if (cancelled(cancel)) {
            return false;
        }
    }
    ++busyHosts_[host];
    return true;
}

void Downloader::releaseHost(const std::string& host) {
    {
        std::lock_guard lock(hostsMutex_);
        if (--busyHosts_[host] <= 0) {
            busyHosts_.erase(host);
        }
    }
    hostFreed_.notify_all();
}

Downloader::Pass Downloader::pass(const WebRequest& request) {
    const DownloadLimits& limits = options_.limits;
    const std::size_t maxBytes =
        request.maxBytes == 0 ? limits.maxBytes : std::min(request.maxBytes, limits.maxBytes);
    const bool followRedirects = request.followRedirects && (request.method == WebMethod::get ||
                                                             request.method == WebMethod::head);
    const std::string origin = originKey(request.address);
    std::string address = request.address;
    std::size_t bytesSent = 0;
    std::size_t bytesReceived = 0;
    Pass result;
    for (long redirects = 0;; ++redirects) {
        const std::string host = hostKey(address);
        if (!acquireHost(host, request.cancel)) {
            result.answer = Error{std::string(kRequestCancelled)};
            return result;
        }
        detail::Exchange exchange =
            detail::exchange(options_, request, address, originKey(address) == origin, maxBytes);
        releaseHost(host);
        bytesSent += exchange.bytesSent;
        bytesReceived += exchange.bytesReceived;
        if (request.counter != nullptr) {
            ++request.counter->requests;
            request.counter->bytesSent += exchange.bytesSent;
            request.counter->bytesReceived += exchange.bytesReceived;
        }
        if (exchange.failure) {
            result.answer = Error{std::move(*exchange.failure)};
            return result;
        }
        if (followRedirects && !exchange.redirect.empty()) {
            if (redirects >= limits.maxRedirects) {
                result.answer = Error{
                    fmt::format("The address redirects more than {} times.", limits.maxRedirects)};
                return result;
            }
            // The target is checked like any address the caller gives, before it is asked.
            if (!checkWebAddress(exchange.redirect, limits)) {
                result.answer = Error{refusedRedirect(exchange.redirect, limits)};
                return result;
            }
            address = std::move(exchange.redirect);
            continue;
        }
        WebAnswer answer;
        answer.status = exchange.status;
        answer.headers = std::move(exchange.headers);
        answer.body = std::move(exchange.body);
        answer.bytesSent = bytesSent;
        answer.bytesReceived = bytesReceived;
        result.answer = std::move(answer);
        result.retryAfter = exchange.retryAfter;
        return result;
    }
}

Result<WebAnswer> Downloader::request(const WebRequest& request) {
    const DownloadLimits& limits = options_.limits;
    if (Status usable = checkWebAddress(request.address, limits); !usable) {
        return Error{usable.error()};
    }
    if (std::any_of(request.headers.begin(), request.headers.end(), hasLineBreak)) {
        return Error{"A request header holds a line break."};
    }
    milliseconds wait = limits.firstRetryWait;
    for (int attemptNumber = 0;; ++attemptNumber) {
        if (cancelled(request.cancel)) {
            return Error{std::string(kRequestCancelled)};
        }
        Pass answer = pass(request);
        if (!answer.answer) {
            return cancelled(request.cancel) ? Error{std::string(kRequestCancelled)}
                                             : std::move(answer.answer);
        }
        const bool busy = answer.answer->status == 429 || answer.answer->status == 503;
        if (!busy || !isIdempotent(request.method) || attemptNumber >= limits.retries) {
            return std::move(answer.answer);
        }
        const milliseconds pause = answer.retryAfter.count() >= 0
                                       ? std::min(answer.retryAfter, limits.maxRetryWait)
                                       : std::min(wait, limits.maxRetryWait);
        if (!sleepUnlessCancelled(pause, request.cancel)) {
            return Error{std::string(kRequestCancelled)};
        }
        wait *= 2;
    }
}

Result<std::string> Downloader::fetch(std::string_view address, const std::atomic<bool>* cancel) {
    WebRequest request;
    request.address = std::string(address);
    request.answerHeaders = {};
    request.followRedirects = true;
    request.cancel = cancel;
    Result<WebAnswer> answer = this->request(request);
    if (!answer) {
        return Error{answer.error() == kRequestCancelled ? std::string(kDownloadCancelled)
                                                         : answer.error()};
    }
    if (!answer->succeeded()) {
        return Error{fmt::format("The server answered {}.", answer->status)};
    }
    return std::move(answer->body);
}

}  // namespace orlavine
