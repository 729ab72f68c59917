#include "net/web_request.h"

namespace orlavine {

std::string_view methodName(WebMethod method) {
    switch (method) {
        case WebMethod::get:
            return "GET";
        case WebMethod::head:
            return "HEAD";
        case WebMethod::put:
            return "PUT";
        case WebMethod::del:
            return "DELETE";
        case WebMethod::propfind:
            return "PROPFIND";
        case WebMethod::mkcol:
            return "MKCOL";
        case WebMethod::lock:
            return "LOCK";
        case WebMethod::unlock:
            return "UNLOCK";
    }
    return "GET";
}

bool isIdempotent(WebMethod method) {
    // MKCOL and LOCK answer differently the second time; UNLOCK of a lock already gone too.
    return method == WebMethod::get || method == WebMethod::head || method == WebMethod::put ||
           method == WebMethod::del || method == WebMethod::propfind;
}

std::string WebAnswer::header(const std::string& lowerCaseName) const {
    const auto found = headers.find(lowerCaseName);
    return found == headers.end() ? std::string() : found->second;
}

}  // namespace orlavine
