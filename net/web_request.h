#pragma once
// A request of any method through the downloader, and its answer whatever the status: for
// clients of HTTP services (WebDAV) that read the status themselves.

#include <atomic>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace orlavine {

enum class WebMethod { get, head, put, del, propfind, mkcol, lock, unlock };

// "GET", "PROPFIND", ...
std::string_view methodName(WebMethod method);
// Whether asking again cannot change more than asking once did, so a busy answer may be retried.
bool isIdempotent(WebMethod method);

// What requests sent and received, counted by every exchange (redirects, retries and failed
// transfers included); shared by the requests of one client.
struct TransferCounter {
    std::atomic<std::size_t> requests{0};
    // Bytes on the wire, headers included, TLS overhead not.
    std::atomic<std::size_t> bytesSent{0};
    std::atomic<std::size_t> bytesReceived{0};
};

struct WebRequest {
    WebMethod method = WebMethod::get;
    std::string address;
    // Further request headers, "Name: value" each.
    std::vector<std::string> headers;
    // Sent with PUT always, with other methods when not empty. Must outlive the request.
    std::string_view body;
    // Basic credentials, when a user is given; sent to the address's own scheme, host and port
    // only, never after a redirect elsewhere.
    std::string user;
    std::string password;
    // Answer headers to keep, by lower-case name.
    std::vector<std::string> answerHeaders = {"etag"};
    // A cap on the answer's body below the downloader's own; 0: the downloader's.
    std::size_t maxBytes = 0;
    // Redirects are followed for GET and HEAD only, and only when asked for.
    bool followRedirects = false;
    // Whether the server may compress the answer (the cap counts decompressed bytes). Servers that
    // compress may change the ETag, so clients that save conditionally leave this off.
    bool compressed = true;
    // When set, ends the request, or the wait before a retry, within a tenth of a second.
    const std::atomic<bool>* cancel = nullptr;
    TransferCounter* counter = nullptr;
};

struct WebAnswer {
    long status = 0;
    // The headers of the final answer named in WebRequest::answerHeaders, by lower-case name.
    std::map<std::string, std::string> headers;
    std::string body;
    // All exchanges of this request: redirects and retries included.
    std::size_t bytesSent = 0;
    std::size_t bytesReceived = 0;

    // The value of a kept header, or "" when the answer had none.
    std::string header(const std::string& lowerCaseName) const;
    bool succeeded() const { return status >= 200 && status <= 299; }
};

}  // namespace orlavine
