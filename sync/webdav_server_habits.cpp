// What a WebDAV server does and lacks, found out by asking it: missing folders, WebDAV locks, and
// whether it refuses conditional writes that no longer apply.

#include <string>
#include <string_view>

#include "sync/webdav_answers.h"
#include "sync/webdav_record_store.h"

namespace orlavine::sync {
namespace {

// Every writer takes an exclusive lock on this file of the folder around read-check-write.
constexpr const char* kLockFileName = "records.lock";
// A scratch file for finding out whether the server refuses stale conditional writes.
constexpr const char* kProbeFileName = "write-check.tmp";
// A lock outlives a machine that stopped while holding it by this long at most.
constexpr const char* kLockTimeout = "Timeout: Second-300";
constexpr std::string_view kLockBody =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><lockinfo xmlns=\"DAV:\"><lockscope><exclusive/>"
    "</lockscope><locktype><write/></locktype><owner>orlavine sync</owner></lockinfo>";
constexpr std::string_view kPropfindBody =
    "<?xml version=\"1.0\"?><propfind xmlns=\"DAV:\"><prop><resourcetype/></prop></propfind>";
// Folders above the account's that may be made: a guard against walking up forever.
constexpr int kMaxFolderDepth = 16;

// "http://host/a/b/" -> "http://host/a/"; "" at the top of the host.
std::string parentFolder(const std::string& address) {
    const std::size_t scheme = address.find("://");
    const std::size_t pathStart = address.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    if (pathStart == std::string::npos) {
        return {};
    }
    std::string trimmed = address;
    while (trimmed.size() > pathStart + 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    const std::size_t slash = trimmed.rfind('/');
    if (slash == std::string::npos || slash < pathStart || trimmed.size() <= pathStart + 1) {
        return {};
    }
    return trimmed.substr(0, slash + 1);
}

// The path of an address, for telling the user which folder was made.
std::string pathOf(const std::string& address) {
    const std::size_t scheme = address.find("://");
    const std::size_t pathStart = address.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    return pathStart == std::string::npos ? address : address.substr(pathStart);
}

// "<urn:uuid:...>" or "urn:uuid:..." -> "urn:uuid:...".
std::string lockToken(std::string header) {
    while (!header.empty() && (header.front() == '<' || header.front() == ' ')) {
        header.erase(header.begin());
    }
    while (!header.empty() && (header.back() == '>' || header.back() == ' ')) {
        header.pop_back();
    }
    return header.size() <= 512 ? header : std::string();
}

constexpr const char* kLockHeld = "the lock is held";

}  // namespace

std::string WebDavRecordStore::lockURL() const {
    return account_.folderURL + kLockFileName;
}

bool WebDavRecordStore::absent(const Result<WebAnswer>& answer, const std::string& address) {
    if (!answer) {
        return false;
    }
    if (answer->status == 404 || answer->status == 410) {
        return true;
    }
    if (answer->status != 409 && answer->status != 500) {
        return false;
    }
    // Servers answer a missing folder or file with 409 or 500 too; ask about it directly.
    WebRequest propfind = request(WebMethod::propfind, address);
    propfind.headers.push_back("Depth: 0");
    propfind.headers.push_back("Content-Type: application/xml");
    propfind.body = kPropfindBody;
    const Result<WebAnswer> found = send(propfind);
    return answered(found, 404) || answered(found, 409) || answered(found, 410);
}

std::optional<CloudError> WebDavRecordStore::makeFolder(const std::string& address,
                                                        std::vector<std::string>* made, int depth) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const Result<WebAnswer> answer = send(request(WebMethod::mkcol, address));
        if (answered(answer, 201)) {
            if (made != nullptr) {
                made->push_back(pathOf(address));
            }
            return std::nullopt;
        }
        if (answered(answer, 405)) {
            return std::nullopt;  // it exists
        }
        const std::string parent = parentFolder(address);
        const bool parentMissing =
            answer && !refused(answer->status) &&
            (answer->status == 409 || answer->status == 404 || answer->status == 500);
        if (attempt > 0 || !parentMissing || parent.empty() || depth >= kMaxFolderDepth) {
            CloudError error = failure(answer);
            if (answer && !refused(answer->status)) {
                error.message = "there is no folder " + pathOf(address) +
                                " on the server and it could not be made (the server answered " +
                                std::to_string(answer->status) + ")";
            }
            return error;
        }
        if (std::optional<CloudError> above = makeFolder(parent, made, depth + 1)) {
            return above;
        }
    }
    return std::nullopt;
}

std::optional<CloudError> WebDavRecordStore::ensureFolder(std::vector<std::string>* made) {
    WebRequest propfind = request(WebMethod::propfind, account_.folderURL);
    propfind.headers.push_back("Depth: 0");
    propfind.headers.push_back("Content-Type: application/xml");
    propfind.body = kPropfindBody;
    const Result<WebAnswer> response = send(propfind);
    if (answered(response, 207)) {
        return std::nullopt;
    }
    if (response && !refused(response->status) &&
        (response->status == 404 || response->status == 409 || response->status == 410)) {
        return makeFolder(account_.folderURL, made, 0);
    }
    return failure(response);
}

std::optional<CloudError> WebDavRecordStore::checkAccount() {
    return ensureFolder(nullptr);
}

std::optional<CloudError> WebDavRecordStore::takeLock(std::string& token, bool wait) {
    const auto deadline = std::chrono::steady_clock::now() + account_.lockWait;
    // Some servers keep a lock asked for in a missing folder while answering that it failed,
    // and it then blocks everyone until it times out: make sure of the folder first.
    if (std::optional<CloudError> folder = ensureFolder(nullptr)) {
        return folder;
    }
    bool madeFolder = false;
    for (;;) {
        WebRequest lock = request(WebMethod::lock, lockURL());
        lock.body = kLockBody;
        lock.headers.push_back("Content-Type: application/xml; charset=utf-8");
        lock.headers.push_back(kLockTimeout);
        lock.headers.push_back("Depth: 0");
        lock.answerHeaders = {"lock-token"};
        const Result<WebAnswer> answer = send(lock);
        if (answer && answer->succeeded()) {
            token = lockToken(answer->header("lock-token"));
            if (!token.empty()) {
                return std::nullopt;
            }
            return CloudError{CloudError::Kind::other, "the server's lock came without a token"};
        }
        if (answered(answer, 423)) {
            if (!wait) {
                return CloudError{CloudError::Kind::other, kLockHeld};
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                return CloudError{CloudError::Kind::other,
                                  "another machine holds the account's lock; trying again later"};
            }
            if (!pause(std::chrono::milliseconds(250))) {
                return CloudError{CloudError::Kind::other, "cancelled"};
            }
            continue;
        }
        if (answer && (answer->status == 405 || answer->status == 501)) {
            // The server no longer takes locks: find out again what it does before writing.
            writes_ = Writes::unknown;
            return CloudError{CloudError::Kind::other, "the server no longer takes WebDAV locks"};
        }
        if (!madeFolder && answer && !refused(answer->status) &&
            absent(answer, account_.folderURL)) {
            madeFolder = true;
            if (std::optional<CloudError> made = ensureFolder(nullptr)) {
                return made;
            }
            continue;
        }
        return failure(answer);
    }
}

void WebDavRecordStore::releaseLock(const std::string& token) {
    WebRequest unlock = request(WebMethod::unlock, lockURL());
    unlock.headers.push_back("Lock-Token: <" + token + ">");
    // A lock that could not be let go of ends with its timeout.
    (void)send(unlock);
}

WebDavRecordStore::Probe WebDavRecordStore::probe() {
    Probe found;
    std::string first;
    if (std::optional<CloudError> locked = takeLock(first, false)) {
        if (locked->kind == CloudError::Kind::notAuthenticated) {
            found.error = std::move(locked);
            return found;
        }
        // Held by another machine right now: the server refuses a second holder, as needed.
        found.locks = locked->message == kLockHeld;
    } else {
        std::string second;
        const std::optional<CloudError> again = takeLock(second, false);
        found.locks = again && again->message == kLockHeld;
        if (!again) {
            releaseLock(second);
        }
        releaseLock(first);
    }

    const std::string address = account_.folderURL + kProbeFileName;
    WebRequest put = request(WebMethod::put, address);
    put.body = "1";
    const Result<WebAnswer> created = send(put);
    if (!created || !created->succeeded()) {
        found.error = failure(created);
        return found;
    }
    const Result<WebAnswer> read = send(request(WebMethod::get, address));
    const bool tagged = read && read->succeeded() && !read->header("etag").empty();
    bool refusesStale = true;
    for (const char* condition : {"If-Match: \"orlavine-outdated\"", "If-None-Match: *"}) {
        WebRequest conditional = request(WebMethod::put, address);
        conditional.body = "2";
        conditional.headers.push_back(condition);
        refusesStale = refusesStale && answered(send(conditional), 412);
    }
    found.conditional = tagged && refusesStale;
    (void)send(request(WebMethod::del, address));
    return found;
}

std::optional<CloudError> WebDavRecordStore::chooseWrites() {
    if (writes_ != Writes::unknown) {
        return std::nullopt;
    }
    const Probe found = probe();
    if (found.error) {
        return found.error;
    }
    if (found.locks) {
        writes_ = Writes::locked;
    } else if (found.conditional) {
        writes_ = Writes::conditional;
    } else {
        return CloudError{CloudError::Kind::other, kUnsafeServerText};
    }
    return std::nullopt;
}

PrepareOutcome WebDavRecordStore::prepare() {
    PrepareOutcome outcome;
    std::vector<std::string> made;
    if (std::optional<CloudError> folder = ensureFolder(&made)) {
        outcome.error = std::move(folder);
        return outcome;
    }
    if (!made.empty()) {
        std::string line = "Made the folder(s) on the server:";
        for (const std::string& folder : made) {  // outermost first
            line += " " + folder;
        }
        outcome.lines.push_back(std::move(line));
    }
    writes_ = Writes::unknown;
    const Probe found = probe();
    if (found.error) {
        outcome.error = found.error;
        return outcome;
    }
    if (found.locks) {
        writes_ = Writes::locked;
        if (!found.conditional) {
            outcome.lines.emplace_back(kLockInsteadLine);
        }
    } else if (found.conditional) {
        writes_ = Writes::conditional;
        outcome.lines.emplace_back(kConditionalInsteadLine);
    } else {
        outcome.error = CloudError{CloudError::Kind::other, kUnsafeServerText};
    }
    return outcome;
}

}  // namespace orlavine::sync
