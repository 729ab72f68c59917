#include "net/curl_exchange.h"

#include <curl/curl.h>
#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>
#include <string_view>

namespace orlavine::detail {
namespace {

using Clock = std::chrono::steady_clock;

// The longest a transfer waits for the network before it looks at its cancel flag again.
constexpr int kPollMilliseconds = 100;

struct Transfer {
    const DownloadLimits* limits = nullptr;
    const WebRequest* request = nullptr;
    Exchange* out = nullptr;
    std::size_t maxBytes = 0;
    std::size_t uploaded = 0;
    bool tooLarge = false;
    bool stalled = false;
    bool cancelled = false;
    curl_off_t lastMoved = -1;
    Clock::time_point lastProgress = Clock::now();

    bool cancelRequested() const { return request->cancel != nullptr && request->cancel->load(); }
};

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::size_t collect(char* data, std::size_t size, std::size_t count, void* target) {
    auto* transfer = static_cast<Transfer*>(target);
    const std::size_t bytes = size * count;
    if (transfer->out->body.size() + bytes > transfer->maxBytes) {
        transfer->tooLarge = true;
        return 0;  // ends the transfer
    }
    transfer->out->body.append(data, bytes);
    return bytes;
}

std::size_t keepHeader(char* data, std::size_t size, std::size_t count, void* target) {
    auto* transfer = static_cast<Transfer*>(target);
    const std::size_t bytes = size * count;
    const std::string_view line(data, bytes);
    if (line.starts_with("HTTP/")) {
        transfer->out->headers.clear();  // the headers of an earlier, interim answer
        return bytes;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        return bytes;
    }
    std::string name = lowered(trimmed(line.substr(0, colon)));
    const auto& wanted = transfer->request->answerHeaders;
    if (std::find(wanted.begin(), wanted.end(), name) != wanted.end()) {
        transfer->out->headers[std::move(name)] = std::string(trimmed(line.substr(colon + 1)));
    }
    return bytes;
}

std::size_t supplyBody(char* buffer, std::size_t size, std::size_t count, void* target) {
    auto* transfer = static_cast<Transfer*>(target);
    const std::string_view body = transfer->request->body;
    const std::size_t bytes = std::min(size * count, body.size() - transfer->uploaded);
    std::copy_n(body.data() + transfer->uploaded, bytes, buffer);
    transfer->uploaded += bytes;
    return bytes;
}

int watch(void* target, curl_off_t /*dltotal*/, curl_off_t dlnow, curl_off_t /*ultotal*/,
          curl_off_t ulnow) {
    auto* transfer = static_cast<Transfer*>(target);
    if (transfer->cancelRequested()) {
        transfer->cancelled = true;
        return 1;
    }
    const auto now = Clock::now();
    const curl_off_t moved = dlnow + ulnow;
    if (moved != transfer->lastMoved) {
        transfer->lastMoved = moved;
        transfer->lastProgress = now;
    } else if (now - transfer->lastProgress > transfer->limits->stallTimeout) {
        transfer->stalled = true;
        return 1;
    }
    return 0;
}

std::string describeFailure(CURLcode code, const Transfer& transfer) {
    if (transfer.cancelled) {
        return "The request was cancelled.";
    }
    if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        return transfer.maxBytes >= (std::size_t{1} << 20)
                   ? fmt::format("The answer is larger than {} MB.", transfer.maxBytes >> 20)
                   : fmt::format("The answer is larger than {} KB.", transfer.maxBytes >> 10);
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
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CACERT_BADFILE:
            return "The server's certificate could not be verified.";
        case CURLE_PARTIAL_FILE:
            return "The answer ended early.";
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
            return "The server closed the connection without a whole answer.";
        case CURLE_UNSUPPORTED_PROTOCOL:
            return "Only http and https addresses can be downloaded.";
        default:
            return std::string("The download failed: ") + curl_easy_strerror(code);
    }
}

void setMethod(CURL* curl, const WebRequest& request, Transfer& transfer) {
    switch (request.method) {
        case WebMethod::get:
            curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
            return;
        case WebMethod::head:
            curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
            return;
        case WebMethod::put:
            curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
            curl_easy_setopt(curl, CURLOPT_READFUNCTION, &supplyBody);
            curl_easy_setopt(curl, CURLOPT_READDATA, &transfer);
            curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE,
                             static_cast<curl_off_t>(request.body.size()));
            return;
        default:
            // The names are string literals, so the view ends in a null character.
            curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, methodName(request.method).data());
            if (!request.body.empty()) {
                curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.data());
                curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                                 static_cast<curl_off_t>(request.body.size()));
            }
            return;
    }
}

// Runs the transfer, looking at the cancel flag between waits for the network.
CURLcode run(CURL* curl, Transfer& transfer) {
    std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> multi(curl_multi_init(),
                                                                &curl_multi_cleanup);
    if (!multi || curl_multi_add_handle(multi.get(), curl) != CURLM_OK) {
        return CURLE_FAILED_INIT;
    }
    CURLcode code = CURLE_OK;
    for (int running = 1; running != 0;) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            code = CURLE_FAILED_INIT;
            break;
        }
        if (running == 0) {
            int left = 0;
            while (CURLMsg* message = curl_multi_info_read(multi.get(), &left)) {
                if (message->msg == CURLMSG_DONE) {
                    code = message->data.result;
                }
            }
            break;
        }
        if (transfer.cancelRequested()) {
            transfer.cancelled = true;
            code = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        if (curl_multi_poll(multi.get(), nullptr, 0, kPollMilliseconds, nullptr) != CURLM_OK) {
            code = CURLE_FAILED_INIT;
            break;
        }
    }
    curl_multi_remove_handle(multi.get(), curl);
    return code;
}

}  // namespace

void initialiseCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

Exchange exchange(const DownloadOptions& options, const WebRequest& request,
                  const std::string& address, bool withCredentials, std::size_t maxBytes) {
    const DownloadLimits& limits = options.limits;
    Exchange result;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(),
                                                               &curl_easy_cleanup);
    if (!handle) {
        result.failure = "The request could not be started.";
        return result;
    }
    CURL* curl = handle.get();
    Transfer transfer;
    transfer.limits = &limits;
    transfer.request = &request;
    transfer.out = &result;
    transfer.maxBytes = maxBytes;
    curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    // Redirects are the Downloader's: it checks every address before asking it.
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(limits.connectTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.totalTimeout.count()));
    if (request.method != WebMethod::head) {
        // A HEAD answer announces the size of a body it does not send: no cap on that.
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBytes));
    }
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, options.userAgent.c_str());
    if (request.compressed) {
        curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");  // whatever libcurl can decode
    }
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options.certificateFile.empty()) {
        curl_easy_setopt(curl, CURLOPT_CAINFO, options.certificateFile.c_str());
    }
    if (withCredentials && !request.user.empty()) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(curl, CURLOPT_USERNAME, request.user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, request.password.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &keepHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &watch);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    setMethod(curl, request, transfer);

    // No "Expect: 100-continue" round trip before uploads.
    curl_slist* headers = curl_slist_append(nullptr, "Expect:");
    for (const std::string& header : request.headers) {
        headers = curl_slist_append(headers, header.c_str());
    }
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headerList(headers,
                                                                           &curl_slist_free_all);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);

    const CURLcode code = run(curl, transfer);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    curl_off_t retryAfter = 0;
    if (curl_easy_getinfo(curl, CURLINFO_RETRY_AFTER, &retryAfter) == CURLE_OK && retryAfter > 0) {
        result.retryAfter = std::chrono::seconds(retryAfter);
    }
    long requestSize = 0;
    long headerSize = 0;
    curl_off_t uploaded = 0;
    curl_off_t downloaded = 0;
    curl_easy_getinfo(curl, CURLINFO_REQUEST_SIZE, &requestSize);
    curl_easy_getinfo(curl, CURLINFO_HEADER_SIZE, &headerSize);
    curl_easy_getinfo(curl, CURLINFO_SIZE_UPLOAD_T, &uploaded);
    curl_easy_getinfo(curl, CURLINFO_SIZE_DOWNLOAD_T, &downloaded);
    result.bytesSent = static_cast<std::size_t>(requestSize) + static_cast<std::size_t>(uploaded);
    result.bytesReceived =
        static_cast<std::size_t>(headerSize) + static_cast<std::size_t>(downloaded);
    if (code != CURLE_OK) {
        result.cancelled = transfer.cancelled;
        result.failure = describeFailure(code, transfer);
        return result;
    }
    if (result.status >= 300 && result.status <= 399) {
        char* location = nullptr;
        if (curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &location) == CURLE_OK &&
            location != nullptr) {
            result.redirect = location;
        }
    }
    return result;
}

}  // namespace orlavine::detail
