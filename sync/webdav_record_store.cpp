#include "sync/webdav_record_store.h"

#include "sync/record_files.h"

namespace orlavine::sync {
namespace {

// Error pages and PROPFIND answers are small; only record bodies may be large.
constexpr std::size_t kMaxReplyBytes = 256u * 1024u;

bool refused(long status) {
    return status == 401 || status == 403;
}

bool answered(const Result<WebAnswer>& r, long status) {
    return r && r->status == status;
}

CloudError failure(const Result<WebAnswer>& r) {
    if (!r) {
        return CloudError{CloudError::Kind::other, r.error()};
    }
    if (refused(r->status)) {
        return CloudError{CloudError::Kind::notAuthenticated,
                          "the server refused the credentials (" + std::to_string(r->status) + ")"};
    }
    if (r->status == 507) {
        return CloudError{CloudError::Kind::other, "the account is out of space (507)"};
    }
    return CloudError{CloudError::Kind::other, "the server answered " + std::to_string(r->status)};
}

WebDavAccount normalized(WebDavAccount account) {
    if (account.folderURL.empty() || account.folderURL.back() != '/') {
        account.folderURL += '/';
    }
    if (account.maxRecordBytes == 0) {
        account.maxRecordBytes = kMaxRecordBytes;
    }
    return account;
}

DownloadOptions downloadOptionsFor(const WebDavAccount& account) {
    DownloadOptions options;
    options.certificateFile = account.caFile;
    options.limits.connectTimeout = account.connectTimeout;
    options.limits.totalTimeout = account.totalTimeout;
    options.limits.maxBytes = account.maxRecordBytes;
    return options;
}

}  // namespace

std::string normalizeTag(std::string_view etag) {
    if (etag.starts_with("W/")) {
        etag.remove_prefix(2);
    }
    return std::string(etag);
}

WebDavRecordStore::WebDavRecordStore(WebDavAccount account)
    : account_(normalized(std::move(account))), downloader_(downloadOptionsFor(account_)) {}

std::string WebDavRecordStore::recordURL(const std::string& name) const {
    return account_.folderURL + recordFileName(name);
}

WebRequest WebDavRecordStore::request(WebMethod method, std::string address) const {
    WebRequest request;
    request.method = method;
    request.address = std::move(address);
    request.user = account_.user;
    request.password = account_.password;
    request.maxBytes = kMaxReplyBytes;
    // A server that compresses may change the ETag, which the conditional saves rely on.
    request.compressed = false;
    return request;
}

Result<WebAnswer> WebDavRecordStore::send(const WebRequest& request) {
    WebRequest sent = request;
    sent.cancel = &cancelled_;
    sent.counter = &counter_;
    return downloader_.request(sent);
}

bool WebDavRecordStore::pause(std::chrono::milliseconds duration) {
    std::unique_lock lock(pauseMutex_);
    return !pauseEnded_.wait_for(lock, duration, [this] { return cancelled_.load(); });
}

void WebDavRecordStore::cancel() {
    {
        std::lock_guard lock(pauseMutex_);
        cancelled_ = true;
    }
    pauseEnded_.notify_all();
}

FetchOutcome WebDavRecordStore::fetch(const std::vector<std::string>& names) {
    FetchOutcome outcome;
    std::map<std::string, RemoteRecord> records;
    for (const std::string& name : names) {
        WebRequest get = request(WebMethod::get, recordURL(name));
        get.maxBytes = account_.maxRecordBytes;
        Result<WebAnswer> response = send(get);
        if (answered(response, 404)) {
            continue;
        }
        if (!answered(response, 200)) {
            // One record that could not be read must not pass for a missing one.
            outcome.error = failure(response);
            return outcome;
        }
        const std::string etag = response->header("etag");
        if (etag.empty()) {
            outcome.error = CloudError{CloudError::Kind::other, "the server sends no ETag"};
            return outcome;
        }
        records.emplace(name, RemoteRecord{normalizeTag(etag), std::move(response->body)});
    }
    outcome.records = std::move(records);
    return outcome;
}

TagOutcome WebDavRecordStore::currentTag(const std::string& name) {
    const Result<WebAnswer> response = send(request(WebMethod::head, recordURL(name)));
    if (answered(response, 404)) {
        return {};
    }
    if (!answered(response, 200)) {
        return {failure(response), std::nullopt};
    }
    const std::string etag = response->header("etag");
    if (etag.empty()) {
        return {CloudError{CloudError::Kind::other, "the server sends no ETag"}, std::nullopt};
    }
    return {std::nullopt, normalizeTag(etag)};
}

SaveOutcome WebDavRecordStore::save(const std::string& name, std::string_view body,
                                    const std::optional<std::string>& expectedTag) {
    const auto settleUntil = std::chrono::steady_clock::now() + account_.settleTimeout;
    if (expectedTag) {
        // A record written less than a second ago may carry only a weak tag, which If-Match
        // never accepts: wait for it to settle with cheap HEADs rather than sending the body
        // again and again.
        for (;;) {
            const Result<WebAnswer> current = send(request(WebMethod::head, recordURL(name)));
            if (!answered(current, 200) || !current->header("etag").starts_with("W/") ||
                normalizeTag(current->header("etag")) != *expectedTag ||
                std::chrono::steady_clock::now() >= settleUntil ||
                !pause(std::chrono::milliseconds(200))) {
                break;
            }
        }
    }
    bool madeFolder = false;
    for (;;) {
        WebRequest put = request(WebMethod::put, recordURL(name));
        put.body = body;
        put.headers.push_back(expectedTag ? "If-Match: " + *expectedTag
                                          : std::string("If-None-Match: *"));
        put.headers.push_back("Content-Type: application/octet-stream");
        const Result<WebAnswer> response = send(put);
        if (response &&
            (response->status == 200 || response->status == 201 || response->status == 204)) {
            if (const std::string etag = response->header("etag"); !etag.empty()) {
                return {std::nullopt, normalizeTag(etag)};
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
        if (answered(response, 409) && !madeFolder) {
            // The account's folder does not exist yet.
            madeFolder = true;
            if (std::optional<CloudError> made = checkAccount()) {
                return {std::move(made), {}};
            }
            continue;
        }
        if (answered(response, 412)) {
            if (expectedTag && std::chrono::steady_clock::now() < settleUntil) {
                // A record written less than a second ago may carry only a weak tag, which
                // If-Match never accepts; wait while the content is still the one expected.
                const TagOutcome current = currentTag(name);
                if (!current.error && current.tag == expectedTag &&
                    pause(std::chrono::milliseconds(200))) {
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
    WebRequest propfind = request(WebMethod::propfind, account_.folderURL);
    propfind.headers.push_back("Depth: 0");
    propfind.headers.push_back("Content-Type: application/xml");
    static constexpr std::string_view kBody =
        "<?xml version=\"1.0\"?><propfind xmlns=\"DAV:\"><prop><resourcetype/></prop></propfind>";
    propfind.body = kBody;
    const Result<WebAnswer> response = send(propfind);
    if (answered(response, 207)) {
        return std::nullopt;
    }
    if (answered(response, 404)) {
        const Result<WebAnswer> made = send(request(WebMethod::mkcol, account_.folderURL));
        if (answered(made, 201) || answered(made, 405)) {
            return std::nullopt;
        }
        return failure(made);
    }
    return failure(response);
}

WebDavRecordStore::Traffic WebDavRecordStore::traffic() const {
    return Traffic{counter_.requests.load(), counter_.bytesSent.load(),
                   counter_.bytesReceived.load()};
}

bool WebDavRecordStore::waitForChange(std::chrono::milliseconds timeout) {
    return pause(timeout);  // false when cancelled
}

}  // namespace orlavine::sync
