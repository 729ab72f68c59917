#include "sync/folder_record_store.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <fmt/format.h>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "model/atomic_file.h"
#include "sync/record_files.h"

namespace orlavine::sync {
namespace {

constexpr const char* kLockFileName = ".orlavine-lock";

}  // namespace

FolderRecordStore::FolderRecordStore(std::filesystem::path folder, std::size_t maxRecordBytes)
    : folder_(std::move(folder)),
      maxRecordBytes_(maxRecordBytes == 0 ? kMaxRecordBytes : maxRecordBytes),
      cancelled_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    startWatching();
}

FolderRecordStore::~FolderRecordStore() {
    if (inotify_ >= 0) {
        ::close(inotify_);
    }
    if (cancelled_ >= 0) {
        ::close(cancelled_);
    }
}

void FolderRecordStore::cancel() {
    if (cancelled_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(cancelled_, &one, sizeof one);
    }
}

void FolderRecordStore::startWatching() {
    std::error_code ec;
    // Not its parents: a chosen folder that is missing must show as missing.
    std::filesystem::create_directory(folder_, ec);
    inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ >= 0 &&
        ::inotify_add_watch(inotify_, folder_.c_str(),
                            IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE | IN_CREATE) < 0) {
        ::close(inotify_);
        inotify_ = -1;
    }
}

FolderRecordStore::Read FolderRecordStore::read(const std::string& name) const {
    const std::filesystem::path file = folder_ / recordFileName(name);
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        if (ec) {
            return {CloudError{CloudError::Kind::other, ec.message()}, std::nullopt};
        }
        return {};
    }
    Result<std::string> body = readWholeFile(file, maxRecordBytes_);
    if (!body) {
        return {CloudError{CloudError::Kind::other, body.error()}, std::nullopt};
    }
    RemoteRecord record;
    record.tag = contentTag(*body);
    record.body = std::move(body).value();
    return {std::nullopt, std::move(record)};
}

FetchOutcome FolderRecordStore::fetch(const std::vector<std::string>& names) {
    if (std::optional<CloudError> account = checkAccount()) {
        return {std::move(account), std::nullopt};
    }
    FetchOutcome outcome;
    outcome.records.emplace();
    for (const std::string& name : names) {
        Read r = read(name);
        if (r.error) {
            outcome.error = std::move(r.error);
        } else if (r.record) {
            outcome.records->emplace(name, std::move(*r.record));
        }
    }
    if (outcome.error) {
        // A record that could not be read must not pass for a missing one.
        outcome.records.reset();
    }
    return outcome;
}

TagOutcome FolderRecordStore::currentTag(const std::string& name) {
    Read r = read(name);
    if (r.error) {
        return {std::move(r.error), std::nullopt};
    }
    if (!r.record) {
        return {};
    }
    return {std::nullopt, std::move(r.record->tag)};
}

SaveOutcome FolderRecordStore::save(const std::string& name, std::string_view body,
                                    const std::optional<std::string>& expectedTag) {
    if (std::optional<CloudError> account = checkAccount()) {
        return {std::move(account), {}};
    }
    // Two programs on this machine never interleave a compare and a write.
    ExclusiveFileLock lock(folder_ / kLockFileName, 0600);
    if (!lock.ok()) {
        return {CloudError{CloudError::Kind::other, "cannot lock " + folder_.string()}, {}};
    }
    Read current = read(name);
    if (current.error) {
        return {std::move(current.error), {}};
    }
    const std::optional<std::string> currentTag =
        current.record ? std::optional<std::string>(current.record->tag) : std::nullopt;
    if (currentTag != expectedTag) {
        return {CloudError{CloudError::Kind::conflict, "the record changed since it was read"}, {}};
    }
    if (Status written = writeFileAtomically(folder_ / recordFileName(name), body); !written) {
        return {CloudError{CloudError::Kind::other, written.error()}, {}};
    }
    return {std::nullopt, contentTag(body)};
}

std::optional<CloudError> FolderRecordStore::checkAccount() {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder_, ec)) {
        return CloudError{CloudError::Kind::other, folder_.string() + " is not a folder"};
    }
    if (::access(folder_.c_str(), R_OK | W_OK | X_OK) != 0) {
        return CloudError{CloudError::Kind::notAuthenticated,
                          folder_.string() + ": " + std::strerror(errno)};
    }
    return std::nullopt;
}

bool FolderRecordStore::waitForChange(std::chrono::milliseconds timeout) {
    pollfd fds[2] = {{cancelled_, POLLIN, 0}, {inotify_, POLLIN, 0}};
    const int ready = ::poll(fds, inotify_ >= 0 ? 2 : 1, static_cast<int>(timeout.count()));
    if ((fds[0].revents & POLLIN) != 0) {
        return false;
    }
    if (inotify_ < 0) {
        return true;  // no change notices: the caller polls
    }
    if (ready <= 0) {
        return false;
    }
    // Drain the events; which file changed does not matter, the tags tell.
    alignas(inotify_event) char buffer[4096];
    while (::read(inotify_, buffer, sizeof buffer) > 0) {
    }
    return true;
}

}  // namespace orlavine::sync
