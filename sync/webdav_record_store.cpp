#include "sync/webdav_record_store.h"

#include <thread>

#include "sync/http_request.h"
#include "sync/record_files.h"

namespace orlavine::sync {
namespace {

// Error pages and PROPFIND answers are small; only record bodies may be large.
constexpr std::size_t kMaxReplyBytes = 256u * 1024u;

bool refused(long status) {
    return status == 401 || status == 403;
}

CloudError failure(const HttpResponse& r) {
    if (!r.transferred) {
        return CloudError{CloudError::Kind::other, r.failure};
    }
    if (refused(r.status)) {
        return CloudError{CloudError::Kind::notAuthenticated,
                          "the server refused the credentials (" + std::to_string(r.status) + ")"};
    }
    if (r.status == 507) {
        return CloudError{CloudError::Kind::other, "the account is out of space (507)"};
    }
    return CloudError{CloudError::Kind::other, "the server answered " + std::to_string(r.status)};
}

}  // namespace

std::string normalizeTag(std::string_view etag) {
    if (etag.starts_with("W/")) {
        etag.remove_prefix(2);
    }
    return std::string(etag);
}

WebDavRecordStore::WebDavRecordStore(WebDavAccount account) : account_(std::move(account)) {
    if (account_.folderURL.empty() || account_.folderURL.back() != '/') {
        account_.folderURL += '/';
    }
    if (account_.maxRecordBytes == 0) {
        account_.maxRecordBytes = kMaxRecordBytes;
    }
}

std::string WebDavRecordStore::recordURL(const std::string& name) const {
    return account_.folderURL + recordFileName(name);
}

namespace {

HttpRequest baseRequest(const WebDavAccount& account, std::string method, std::string url) {
    HttpRequest request;
    request.method = std::move(method);
    request.url = std::move(url);
    request.user = account.user;
    request.password = account.password;
    request.caFile = account.caFile;
    request.connectTimeout = account.connectTimeout;
    request.totalTimeout = account.totalTimeout;
    request.maxBodyBytes = kMaxReplyBytes;
    return request;
}

}  // namespace

FetchOutcome WebDavRecordStore::fetch(const std::vector<std::string>& names) {
    FetchOutcome outcome;
    std::map<std::string, RemoteRecord> records;
    for (const std::string& name : names) {
        HttpRequest request = baseRequest(account_, "GET", recordURL(name));
        request.maxBodyBytes = account_.maxRecordBytes;
        HttpResponse response = send(request);
        if (response.transferred && response.status == 404) {
            continue;
        }
        if (!response.transferred || response.status != 200) {
            // One record that could not be read must not pass for a missing one.
            outcome.error = failure(response);
            return outcome;
        }
        if (response.etag.empty()) {
            outcome.error = CloudError{CloudError::Kind::other, "the server sends no ETag"};
            return outcome;
        }
        records.emplace(name, RemoteRecord{normalizeTag(response.etag), std::move(response.body)});
    }
    outcome.records = std::move(records);
    return outcome;
}

TagOutcome WebDavRecordStore::currentTag(const std::string& name) {
    HttpRequest request = baseRequest(account_, "HEAD", recordURL(name));
    request.readBody = false;
    const HttpResponse response = send(request);
    if (response.transferred && response.status == 404) {
        return {};
    }
    if (!response.transferred || response.status != 200) {
        return {failure(response), std::nullopt};
    }
    if (response.etag.empty()) {
        return {CloudError{CloudError::Kind::other, "the server sends no ETag"}, std::nullopt};
    }
    return {std::nullopt, normalizeTag(response.etag)};
}

SaveOutcome WebDavRecordStore::save(const std::string& name, std::string_view body,
                                    const std::optional<std::string>& expectedTag) {
    const auto settleUntil = std::chrono::steady_clock::now() + account_.settleTimeout;
    if (expectedTag) {
        // A record written less than a second ago may carry only a weak tag, which If-Match
        // never accepts: wait for it to settle with cheap HEADs rather than sending the body
        // again and again.
        for (;;) {
            HttpRequest head = baseRequest(account_, "HEAD", recordURL(name));
            head.readBody = false;
            const HttpResponse current = send(head);
            if (!current.transferred || current.status != 200 || !current.etag.starts_with("W/") ||
                normalizeTag(current.etag) != *expectedTag ||
                std::chrono::steady_clock::now() >= settleUntil) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    }
    bool madeFolder = false;
    for (;;) {
        HttpRequest request = baseRequest(account_, "PUT", recordURL(name));
        request.body = body;
        request.headers.push_back(expectedTag ? "If-Match: " + *expectedTag
                                              : std::string("If-None-Match: *"));
        request.headers.push_back("Content-Type: application/octet-stream");
        const HttpResponse response = send(request);
        if (response.transferred &&
            (response.status == 200 || response.status == 201 || response.status == 204)) {
            if (!response.etag.empty()) {
                return {std::nullopt, normalizeTag(response.etag)};
            }
            // Some servers answer without the new tag: read it back.
            TagOutcome tag = currentTag(name);
            if (tag.error || !tag.tag) {
                return {tag.error ? tag.error
                                  : CloudError{CloudError::Kind::other,
                                               "the saved record cannot be found"},
                        {}};
            }
            return {std::nullopt, *tag.tag};
        }
        if (response.transferred && response.status == 409 && !madeFolder) {
            // The account's folder does not exist yet.
            madeFolder = true;
            if (std::optional<CloudError> made = checkAccount()) {
                return {std::move(made), {}};
            }
            continue;
        }
        if (response.transferred && response.status == 412) {
            if (expectedTag && std::chrono::steady_clock::now() < settleUntil) {
                // A record written less than a second ago may carry only a weak tag, which
                // If-Match never accepts; wait while the content is still the one expected.
                const TagOutcome current = currentTag(name);
                if (!current.error && current.tag == expectedTag) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                    continue;
                }
            }
            return {CloudError{CloudError::Kind::conflict, "the record changed since it was read"},
                    {}};
        }
        return {failure(response), {}};
    }
}

std::optional<CloudError> WebDavRecordStore::checkAccount() {
    HttpRequest request = baseRequest(account_, "PROPFIND", account_.folderURL);
    request.headers.push_back("Depth: 0");
    request.headers.push_back("Content-Type: application/xml");
    static constexpr std::string_view kBody =
        "<?xml version=\"1.0\"?><propfind xmlns=\"DAV:\"><prop><resourcetype/></prop></propfind>";
    request.body = kBody;
    request.sendBody = true;
    const HttpResponse response = send(request);
    if (response.transferred && response.status == 207) {
        return std::nullopt;
    }
    if (response.transferred && response.status == 404) {
        const HttpResponse made = send(baseRequest(account_, "MKCOL", account_.folderURL));
        if (made.transferred && (made.status == 201 || made.status == 405)) {
            return std::nullopt;
        }
        return failure(made);
    }
    return failure(response);
}

HttpResponse WebDavRecordStore::send(const HttpRequest& request) {
    HttpResponse response = perform(request);
    std::lock_guard lock(trafficMutex_);
    ++traffic_.requests;
    traffic_.bytesSent += response.bytesSent;
    traffic_.bytesReceived += response.bytesReceived;
    return response;
}

WebDavRecordStore::Traffic WebDavRecordStore::traffic() const {
    std::lock_guard lock(trafficMutex_);
    return traffic_;
}

bool WebDavRecordStore::waitForChange(std::chrono::milliseconds timeout) {
    std::this_thread::sleep_for(timeout);
    return true;
}

}  // namespace orlavine::sync
