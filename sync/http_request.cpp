#include "sync/http_request.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>

namespace orlavine::sync {
namespace {

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer {
    HttpResponse* response;
    std::size_t maxBytes;
    std::string_view upload;
    std::size_t uploaded = 0;
};

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const std::size_t n = size * count;
    if (t->response->body.size() + n > t->maxBytes) {
        t->response->tooLarge = true;
        return 0;  // aborts the transfer
    }
    t->response->body.append(data, n);
    return n;
}

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const std::size_t n = size * count;
    std::string_view line(data, n);
    constexpr std::string_view kName = "etag:";
    if (line.size() > kName.size() &&
        std::equal(kName.begin(), kName.end(), line.begin(), [](char a, char b) {
            return a == std::tolower(static_cast<unsigned char>(b));
        })) {
        line.remove_prefix(kName.size());
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front()))) {
            line.remove_prefix(1);
        }
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) {
            line.remove_suffix(1);
        }
        t->response->etag = std::string(line);
    }
    return n;
}

std::size_t onUpload(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const std::size_t n = std::min(size * count, t->upload.size() - t->uploaded);
    std::copy_n(t->upload.data() + t->uploaded, n, buffer);
    t->uploaded += n;
    return n;
}

}  // namespace

HttpResponse perform(const HttpRequest& request) {
    initialiseCurlOnce();
    HttpResponse response;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) {
        response.failure = "cannot start an HTTP request";
        return response;
    }
    Transfer transfer{&response, request.maxBodyBytes, request.body};
    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!request.caFile.empty()) {
        curl_easy_setopt(h, CURLOPT_CAINFO, request.caFile.c_str());
    }
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, static_cast<long>(request.connectTimeout.count()));
    curl_easy_setopt(h, CURLOPT_TIMEOUT, static_cast<long>(request.totalTimeout.count()));
    if (request.readBody) {
        // A HEAD answer announces the size of a body it does not send: no cap on that.
        curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE,
                         static_cast<curl_off_t>(request.maxBodyBytes));
    }
    curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(h, CURLOPT_USERNAME, request.user.c_str());
    curl_easy_setopt(h, CURLOPT_PASSWORD, request.password.c_str());
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    if (request.method == "HEAD") {
        curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    } else if (request.method == "PUT") {
        curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(h, CURLOPT_READFUNCTION, onUpload);
        curl_easy_setopt(h, CURLOPT_READDATA, &transfer);
        curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    } else {
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        if (request.sendBody) {
            curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.data());
            curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(request.body.size()));
        }
    }
    curl_slist* headers = nullptr;
    // No "Expect: 100-continue" round trip before uploads.
    headers = curl_slist_append(headers, "Expect:");
    for (const std::string& header : request.headers) {
        headers = curl_slist_append(headers, header.c_str());
    }
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    const CURLcode code = curl_easy_perform(h);
    curl_slist_free_all(headers);
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.status);
    long requestSize = 0;
    long headerSize = 0;
    curl_off_t uploaded = 0;
    curl_off_t downloaded = 0;
    curl_easy_getinfo(h, CURLINFO_REQUEST_SIZE, &requestSize);
    curl_easy_getinfo(h, CURLINFO_HEADER_SIZE, &headerSize);
    curl_easy_getinfo(h, CURLINFO_SIZE_UPLOAD_T, &uploaded);
    curl_easy_getinfo(h, CURLINFO_SIZE_DOWNLOAD_T, &downloaded);
    response.bytesSent = static_cast<std::size_t>(requestSize) + static_cast<std::size_t>(uploaded);
    response.bytesReceived =
        static_cast<std::size_t>(headerSize) + static_cast<std::size_t>(downloaded);
    if (code == CURLE_FILESIZE_EXCEEDED) {
        response.tooLarge = true;
    }
    if (code != CURLE_OK) {
        response.failure =
            response.tooLarge ? "the answer is larger than the limit" : curl_easy_strerror(code);
        return response;
    }
    response.transferred = true;
    return response;
}

}  // namespace orlavine::sync
