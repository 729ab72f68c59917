#pragma once
// One HTTP request through libcurl with the limits every cloud request keeps: http and https only,
// TLS verified, no redirects, connect and total time-outs, and a cap on the body read.

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace orlavine::sync {

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    std::string user;
    std::string password;
    std::string caFile;
    std::vector<std::string> headers;
    std::string_view body;  // sent with PUT and PROPFIND
    bool sendBody = false;
    bool readBody = true;  // false for HEAD
    std::chrono::seconds connectTimeout{10};
    std::chrono::seconds totalTimeout{120};
    std::size_t maxBodyBytes = 0;
};

struct HttpResponse {
    bool transferred = false;  // false: no complete answer (network, time-out, size cap)
    bool tooLarge = false;
    std::string failure;  // why not transferred
    long status = 0;
    std::string etag;  // the ETag header as sent
    // Bytes on the wire, headers included (without TLS overhead).
    std::size_t bytesSent = 0;
    std::size_t bytesReceived = 0;
    std::string body;
};

HttpResponse perform(const HttpRequest& request);

}  // namespace orlavine::sync
