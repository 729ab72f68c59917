#include "model/wormhole.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <random>
#include <utility>

#include "model/atomic_file.h"
#include "model/folder_watcher.h"
#include "model/paths.h"
#include "model/record_json.h"

namespace orlavine {
namespace {

constexpr const char* kMessageSuffix = ".message";

bool validIdentifier(std::string_view identifier) {
    return !identifier.empty() && identifier.size() <= 128 &&
           std::all_of(identifier.begin(), identifier.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '_';
           });
}

// The folder's permissions for files of `mode`: the same read and write bits, with search
// where reading is allowed, and always everything for the owner.
mode_t folderModeFor(mode_t mode) {
    return (mode & 0666) | ((mode & 0044) >> 2) | 0700;
}

// Makes the folder, or narrows an existing one, to at most `allowed`.
void limitFolder(const std::filesystem::path& folder, mode_t allowed) {
    if (::mkdir(folder.c_str(), allowed) == 0) {
        return;
    }
    struct stat info {};
    if (errno == EEXIST && ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
        (info.st_mode & 07777 & ~allowed) != 0) {
        ::chmod(folder.c_str(), info.st_mode & 07777 & allowed);
    }
}

}  // namespace

Wormhole::Wormhole(const std::filesystem::path& container)
    : folder_(container / kWormholeDirectoryName), library_(container / kDatabaseFileName) {}

Result<std::filesystem::path> Wormhole::prepare(std::string_view identifier,
                                                std::optional<unsigned>& mode) const {
    if (!validIdentifier(identifier)) {
        return Error{"invalid message identifier"};
    }
    const std::filesystem::path file = folder_ / (std::string(identifier) + kMessageSuffix);
    // A message tells what changed in the library: it is never more readable than the library.
    struct stat library {};
    if (::stat(library_.c_str(), &library) == 0) {
        mode = library.st_mode & 0666;
        std::error_code ec;
        std::filesystem::create_directories(folder_.parent_path(), ec);
        limitFolder(folder_, folderModeFor(library.st_mode));
    }
    // A message cut short by a crash leaves its temporary file behind.
    removeStaleTemporaries(file, std::chrono::minutes(10));
    return file;
}

Status Wormhole::passMessage(std::string_view identifier, std::string_view bytes) const {
    std::optional<unsigned> mode;
    auto file = prepare(identifier, mode);
    if (!file) {
        return Error{file.error()};
    }
    return writeFileAtomically(*file, bytes, mode);
}

Status Wormhole::passMessage(std::string_view identifier, std::string_view bytes,
                             const std::filesystem::path& copy, ino_t inode) const {
    std::optional<unsigned> mode;
    auto file = prepare(identifier, mode);
    if (!file) {
        return Error{file.error()};
    }
    // The new name is made under a temporary one (cleaned up like writeFileAtomically's) and
    // renamed over the message, so listeners never see it half made.
    // A library behind a symbolic link lives where another tool may write it in place, which
    // would change the message too: it gets a copy.
    std::random_device random;
    for (int attempt = 0; attempt < 8 && resolveLinks(copy) == copy; ++attempt) {
        std::string name = "." + file->filename().string() + ".tmp-";
        for (int i = 0; i < 6; ++i) {
            name += static_cast<char>('a' + random() % 26);
        }
        const std::filesystem::path temporary = folder_ / name;
        if (::linkat(AT_FDCWD, copy.c_str(), AT_FDCWD, temporary.c_str(), 0) != 0) {
            if (errno == EEXIST) {
                continue;
            }
            break;  // another file system, or links not allowed: write a copy
        }
        struct stat linked {};
        if (::stat(temporary.c_str(), &linked) == 0 && linked.st_ino == inode &&
            static_cast<std::size_t>(linked.st_size) == bytes.size() &&
            ::rename(temporary.c_str(), file->c_str()) == 0) {
            return Done{};
        }
        ::unlink(temporary.c_str());
        break;
    }
    return writeFileAtomically(*file, bytes, mode);
}

Result<std::string> Wormhole::message(std::string_view identifier, FileHandle* keep) const {
    if (!validIdentifier(identifier)) {
        return Error{"invalid message identifier"};
    }
    return readWholeFile(folder_ / (std::string(identifier) + kMessageSuffix), kMaxDatabaseBytes,
                         keep);
}

Result<std::unique_ptr<WormholeListener>> WormholeListener::start(
    const std::filesystem::path& container, std::string identifier, Callback callback) {
    return startWithFile(container, std::move(identifier),
                         [callback = std::move(callback)](std::string bytes, FileHandle) {
                             callback(std::move(bytes));
                         });
}

Result<std::unique_ptr<WormholeListener>> WormholeListener::startWithFile(
    const std::filesystem::path& container, std::string identifier, FileCallback callback) {
    if (!validIdentifier(identifier)) {
        return Error{"invalid message identifier"};
    }
    auto listener = std::unique_ptr<WormholeListener>(
        new WormholeListener(Wormhole(container), std::move(identifier), std::move(callback)));
    const std::string fileName = listener->identifier_ + kMessageSuffix;
    WormholeListener* self = listener.get();
    auto watcher =
        FolderWatcher::start(self->wormhole_.folder(), [self, fileName](const auto& names) {
            if (names.contains(fileName)) {
                FileHandle file;
                if (auto bytes = self->wormhole_.message(self->identifier_, &file)) {
                    self->callback_(std::move(bytes).value(), std::move(file));
                }
            }
        });
    if (!watcher) {
        return Error{watcher.error()};
    }
    listener->watcher_ = std::move(watcher).value();
    return listener;
}

WormholeListener::WormholeListener(Wormhole wormhole, std::string identifier, FileCallback callback)
    : wormhole_(std::move(wormhole)),
      identifier_(std::move(identifier)),
      callback_(std::move(callback)) {}

WormholeListener::~WormholeListener() {
    watcher_.reset();
}

}  // namespace orlavine
