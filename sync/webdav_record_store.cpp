#include "sync/webdav_record_store.h"

#include "sync/record_files.h"
#include "sync/webdav_answers.h"

namespace orlavine::sync {
namespace {

// How long a conditional save waits for a freshly written record's tag to become strong.
constexpr std::chrono::seconds kWeakTagSettle{3};
// A revision file holds one content tag; anything longer is not one of ours.
constexpr std::size_t kMaxRevisionBytes = 256;

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

// The tag a revision file holds, or "" when it holds something else.
std::string revisionIn(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.remove_suffix(1);
    }
    if (text.empty() || text.size() > 64) {
        return {};
    }
    for (const char c : text) {
        const bool allowed = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == '-';
        if (!allowed) {
            return {};
        }
    }
    return std::string(text);
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
    // A server that compresses may change the ETag, which conditional saves rely on.
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

WebDavRecordStore::Current WebDavRecordStore::readRecord(const std::string& name,
                                                         std::string* body) {
    Current current;
    WebRequest get = request(WebMethod::get, recordURL(name));
    get.maxBytes = account_.maxRecordBytes;
    Result<WebAnswer> response = send(get);
    if (answered(response, 200)) {
        current.exists = true;
        current.tag = contentTag(response->body);
        current.etag = response->header("etag");
        if (body != nullptr) {
            *body = std::move(response->body);
        }
    } else if (!absent(response, get.address)) {
        // A record that could not be read must not pass for a missing one.
        current.error = failure(response);
    }
    return current;
}

FetchOutcome WebDavRecordStore::fetch(const std::vector<std::string>& names) {
    FetchOutcome outcome;
    std::map<std::string, RemoteRecord> records;
    for (const std::string& name : names) {
        std::string body;
        Current current = readRecord(name, &body);
        if (current.error) {
            outcome.error = std::move(current.error);
            return outcome;
        }
        if (current.exists) {
            records.emplace(name, RemoteRecord{std::move(current.tag), std::move(body)});
        }
    }
    outcome.records = std::move(records);
    return outcome;
}

TagOutcome WebDavRecordStore::currentTag(const std::string& name) {
    const std::string address = account_.folderURL + revisionFileName(name);
    WebRequest get = request(WebMethod::get, address);
    get.maxBytes = kMaxRevisionBytes;
    const Result<WebAnswer> response = send(get);
    if (answered(response, 200)) {
        if (std::string tag = revisionIn(response->body); !tag.empty()) {
            return {std::nullopt, std::move(tag)};
        }
    } else if (!absent(response, address)) {
        return {failure(response), std::nullopt};
    }
    // No revision file (written by a program that keeps none): the record itself tells.
    Current current = readRecord(name, nullptr);
    if (current.error) {
        return {std::move(current.error), std::nullopt};
    }
    if (!current.exists) {
        return {};
    }
    return {std::nullopt, std::move(current.tag)};
}

SaveOutcome WebDavRecordStore::save(const std::string& name, std::string_view body,
                                    const std::optional<std::string>& expectedTag) {
    if (std::optional<CloudError> unusable = chooseWrites()) {
        return {std::move(unusable), {}};
    }
    std::string token;
    if (writes_ == Writes::locked) {
        if (std::optional<CloudError> busy = takeLock(token, true)) {
            return {std::move(busy), {}};
        }
    }
    SaveOutcome saved = saveChecked(name, body, expectedTag);
    if (!token.empty()) {
        releaseLock(token);
    }
    return saved;
}

SaveOutcome WebDavRecordStore::saveChecked(const std::string& name, std::string_view body,
                                           const std::optional<std::string>& expectedTag) {
    Current before = readRecord(name, nullptr);
    if (writes_ == Writes::conditional) {
        // Right after a write some servers give only a weak tag for a moment, which If-Match
        // never accepts: read again (the content must be checked with the tag) until it is strong.
        const auto settleUntil = std::chrono::steady_clock::now() + kWeakTagSettle;
        while (!before.error && before.exists && before.etag.starts_with("W/") &&
               std::chrono::steady_clock::now() < settleUntil &&
               pause(std::chrono::milliseconds(200))) {
            before = readRecord(name, nullptr);
        }
    }
    if (before.error) {
        return {before.error, {}};
    }
    const bool stale = expectedTag ? (!before.exists || before.tag != *expectedTag) : before.exists;
    if (stale) {
        if (before.exists && writes_ == Writes::locked) {
            // A writer that stopped between the record and its revision file left the file
            // behind; other machines poll it, so it must tell of the change.
            (void)writeRevision(name, before.tag);
        }
        return {CloudError{CloudError::Kind::conflict, "the record changed since it was read"}, {}};
    }
    bool madeFolder = false;
    for (;;) {
        WebRequest put = request(WebMethod::put, recordURL(name));
        put.body = body;
        put.headers.push_back("Content-Type: application/octet-stream");
        if (writes_ == Writes::conditional) {
            put.headers.push_back(before.exists ? "If-Match: " + before.etag
                                                : std::string("If-None-Match: *"));
        }
        const Result<WebAnswer> response = send(put);
        if (response && response->succeeded()) {
            break;
        }
        if (answered(response, 412)) {
            return {CloudError{CloudError::Kind::conflict, "the record changed since it was read"},
                    {}};
        }
        if (response && !refused(response->status) && !madeFolder &&
            absent(response, account_.folderURL)) {
            // The account's folder is gone (or was never made): make it and write again.
            madeFolder = true;
            if (std::optional<CloudError> made = ensureFolder(nullptr)) {
                return {std::move(made), {}};
            }
            continue;
        }
        return {failure(response), {}};
    }
    // Read the record back: what the server keeps is what the other machines will read.
    const std::string tag = contentTag(body);
    const Current after = readRecord(name, nullptr);
    if (after.error) {
        return {after.error, {}};
    }
    if (!after.exists || after.tag != tag) {
        // Another writer came in between (possible only with conditional writes), or the server
        // did not keep what it was sent: the caller reads the record again and merges.
        return {CloudError{CloudError::Kind::conflict, "the record read back differs"}, {}};
    }
    if (std::optional<CloudError> unwritten = writeRevision(name, tag)) {
        return {std::move(unwritten), {}};
    }
    return {std::nullopt, tag};
}

std::optional<CloudError> WebDavRecordStore::writeRevision(const std::string& name,
                                                           const std::string& tag) {
    WebRequest put = request(WebMethod::put, account_.folderURL + revisionFileName(name));
    const std::string text = tag + "\n";
    put.body = text;
    put.headers.push_back("Content-Type: text/plain");
    if (const Result<WebAnswer> written = send(put); !written || !written->succeeded()) {
        return failure(written);
    }
    return std::nullopt;
}

WebDavRecordStore::Traffic WebDavRecordStore::traffic() const {
    return Traffic{counter_.requests.load(), counter_.bytesSent.load(),
                   counter_.bytesReceived.load()};
}

bool WebDavRecordStore::waitForChange(std::chrono::milliseconds timeout) {
    return pause(timeout);  // false when cancelled
}

}  // namespace orlavine::sync
