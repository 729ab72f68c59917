#include "model/web_download.h"

#include <curl/curl.h>
#include <fmt/format.h>
#include <boost/url/parse.hpp>

#include <algorithm>
#include <cctype>
#include <thread>
#include <utility>

#include "model/config.h"

namespace orlavine {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr const char* kCancelled = "The download was cancelled.";

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool isHostNameCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-' || c == '_';
}

// Whether the host part of an address that is no valid URI holds letters outside ASCII, as a
// host name typed in its own script ("bücher.example") does.
bool hasNonAsciiHost(std::string_view address) {
    const std::size_t start = address.find("://");
    if (start == std::string_view::npos) {
        return false;
    }
    const std::string_view rest = address.substr(start + 3);
    const std::string_view host = rest.substr(0, rest.find_first_of("/?#"));
    return std::any_of(host.begin(), host.end(), [](unsigned char c) { return c >= 0x80; });
}

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// "host:port" of an address already checked, the unit of the per-host bound.
std::string hostKey(std::string_view address) {
    auto url = boost::urls::parse_absolute_uri(address);
    if (!url) {
        return {};
    }
    return lowered(url->encoded_host()) + ":" + std::string(url->port());
}

struct Transfer {
    const DownloadOptions* options = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    std::string body;
    bool tooLarge = false;
    bool stalled = false;
    bool cancelled = false;
    curl_off_t lastReceived = -1;
    Clock::time_point lastProgress = Clock::now();
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* target) {
    auto* transfer = static_cast<Transfer*>(target);
    const std::size_t bytes = size * count;
    if (transfer->body.size() + bytes > transfer->options->limits.maxBytes) {
        transfer->tooLarge = true;
        return 0;  // ends the transfer
    }
    transfer->body.append(data, bytes);
    return bytes;
}

int watch(void* target, curl_off_t /*dltotal*/, curl_off_t dlnow, curl_off_t /*ultotal*/,
          curl_off_t /*ulnow*/) {
    auto* transfer = static_cast<Transfer*>(target);
    if (transfer->cancel != nullptr && transfer->cancel->load()) {
        transfer->cancelled = true;
        return 1;
    }
    const auto now = Clock::now();
    if (dlnow != transfer->lastReceived) {
        transfer->lastReceived = dlnow;
        transfer->lastProgress = now;
    } else if (now - transfer->lastProgress > transfer->options->limits.stallTimeout) {
        transfer->stalled = true;
        return 1;
    }
    return 0;
}

std::string describeFailure(CURLcode code, const Transfer& transfer, const DownloadLimits& limits) {
    if (transfer.cancelled) {
        return kCancelled;
    }
    if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        return limits.maxBytes >= (std::size_t{1} << 20)
                   ? fmt::format("The answer is larger than {} MB.", limits.maxBytes >> 20)
                   : fmt::format("The answer is larger than {} KB.", limits.maxBytes >> 10);
    }
    if (transfer.stalled) {
        return "The server stopped sending.";
    }
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return "The server's name could not be found.";
        case CURLE_COULDNT_CONNECT:
            return "The server could not be reached.";
        case CURLE_OPERATION_TIMEDOUT:
            return "The server took too long to answer.";
        case CURLE_TOO_MANY_REDIRECTS:
            return fmt::format("The address redirects more than {} times.", limits.maxRedirects);
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CACERT_BADFILE:
            return "The server's certificate could not be verified.";
        case CURLE_PARTIAL_FILE:
            return "The answer ended early.";
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
            return "The server closed the connection without a whole answer.";
        case CURLE_UNSUPPORTED_PROTOCOL:
            return "The address redirects to something other than http or https.";
        default:
            return std::string("The download failed: ") + curl_easy_strerror(code);
    }
}

bool sleepUnlessCancelled(milliseconds wait, const std::atomic<bool>* cancel) {
    const auto until = Clock::now() + wait;
    while (Clock::now() < until) {
        if (cancel != nullptr && cancel->load()) {
            return false;
        }
        std::this_thread::sleep_for(
            std::min<Clock::duration>(milliseconds(20), until - Clock::now()));
    }
    return cancel == nullptr || !cancel->load();
}

}  // namespace

DownloadOptions downloadOptions(const SettingsStore& appSettings) {
    DownloadOptions options;
    options.certificateFile = appSettings.stringValue(kCertificateFileKey);
    return options;
}

Status checkWebAddress(std::string_view address, const DownloadLimits& limits) {
    if (address.size() > limits.maxAddressLength) {
        return Error{
            fmt::format("The address is longer than {} characters.", limits.maxAddressLength)};
    }
    auto url = boost::urls::parse_absolute_uri(address);
    if (!url) {
        if (hasNonAsciiHost(address)) {
            return Error{
                "Host names with letters outside ASCII must be written in their xn-- form."};
        }
        return Error{"The address is not a valid web address."};
    }
    const std::string scheme = lowered(url->scheme());
    if (scheme != "http" && scheme != "https") {
        return Error{"Only http and https addresses can be downloaded."};
    }
    if (url->has_userinfo()) {
        return Error{"Addresses with a user name or password are not accepted."};
    }
    const std::string_view host = url->encoded_host();
    if (host.empty()) {
        return Error{"The address has no host."};
    }
    if (url->host_type() == boost::urls::host_type::name &&
        !std::all_of(host.begin(), host.end(), isHostNameCharacter)) {
        return Error{"Host names with letters outside ASCII must be written in their xn-- form."};
    }
    return Done{};
}

Downloader::Downloader(DownloadOptions options) : options_(std::move(options)) {
    initialiseCurlOnce();
}

bool Downloader::acquireHost(const std::string& host, const std::atomic<bool>* cancel) {
    std::unique_lock lock(hostsMutex_);
    const auto free = [&] {
        return busyHosts_[host] < std::max(1, options_.limits.requestsPerHost);
    };
    // Woken by every release; the time-out only lets a cancel end the wait.
    while (!hostFreed_.wait_for(lock, milliseconds(50), free)) {
        if (cancel != nullptr && cancel->load()) {
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

Downloader::Attempt Downloader::attempt(const std::string& address,
                                        const std::atomic<bool>* cancel) {
    const DownloadLimits& limits = options_.limits;
    Attempt result;
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        result.body = Error{"The download could not be started."};
        return result;
    }
    Transfer transfer;
    transfer.options = &options_;
    transfer.cancel = cancel;
    curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, limits.maxRedirects);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(limits.connectTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.totalTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBytes));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, options_.userAgent.c_str());
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");  // whatever libcurl can decode
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options_.certificateFile.empty()) {
        curl_easy_setopt(curl, CURLOPT_CAINFO, options_.certificateFile.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &watch);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);

    const CURLcode code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    curl_off_t retryAfter = 0;
    if (curl_easy_getinfo(curl, CURLINFO_RETRY_AFTER, &retryAfter) == CURLE_OK && retryAfter > 0) {
        result.retryAfter = std::chrono::seconds(retryAfter);
    }
    curl_easy_cleanup(curl);

    if (code != CURLE_OK) {
        result.body = Error{describeFailure(code, transfer, limits)};
    } else if (result.status < 200 || result.status > 299) {
        result.body = Error{fmt::format("The server answered {}.", result.status)};
    } else {
        result.body = std::move(transfer.body);
    }
    return result;
}

Result<std::string> Downloader::fetch(std::string_view address, const std::atomic<bool>* cancel) {
    if (Status usable = checkWebAddress(address, options_.limits); !usable) {
        return Error{usable.error()};
    }
    const std::string url(address);
    const std::string host = hostKey(url);
    const DownloadLimits& limits = options_.limits;
    milliseconds wait = limits.firstRetryWait;
    for (int attemptNumber = 0;; ++attemptNumber) {
        if (cancel != nullptr && cancel->load()) {
            return Error{kCancelled};
        }
        if (!acquireHost(host, cancel)) {
            return Error{kCancelled};
        }
        Attempt answer = attempt(url, cancel);
        releaseHost(host);
        const bool busy = answer.status == 429 || answer.status == 503;
        if (!busy || attemptNumber >= limits.retries) {
            return std::move(answer.body);
        }
        const milliseconds pause = answer.retryAfter.count() >= 0
                                       ? std::min(answer.retryAfter, limits.maxRetryWait)
                                       : std::min(wait, limits.maxRetryWait);
        if (!sleepUnlessCancelled(pause, cancel)) {
            return Error{kCancelled};
        }
        wait *= 2;
    }
}

}  // namespace orlavine
