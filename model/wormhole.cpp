#include "model/wormhole.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "model/atomic_file.h"
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

}  // namespace

Wormhole::Wormhole(const std::filesystem::path& container)
    : folder_(container / kWormholeDirectoryName) {}

Status Wormhole::passMessage(std::string_view identifier, std::string_view bytes) const {
    if (!validIdentifier(identifier)) {
        return Error{"invalid message identifier"};
    }
    return writeFileAtomically(folder_ / (std::string(identifier) + kMessageSuffix), bytes);
}

Result<std::string> Wormhole::message(std::string_view identifier) const {
    if (!validIdentifier(identifier)) {
        return Error{"invalid message identifier"};
    }
    return readWholeFile(folder_ / (std::string(identifier) + kMessageSuffix), kMaxDatabaseBytes);
}

Result<std::unique_ptr<WormholeListener>> WormholeListener::start(
    const std::filesystem::path& container, std::string identifier, Callback callback) {
    if (!validIdentifier(identifier)) {
        return Error{"invalid message identifier"};
    }
    Wormhole wormhole(container);
    std::error_code ec;
    std::filesystem::create_directories(wormhole.folder(), ec);
    if (ec) {
        return Error{"cannot create " + wormhole.folder().string() + ": " + ec.message()};
    }
    const int inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd < 0) {
        return Error{std::string("cannot watch for messages: ") + std::strerror(errno)};
    }
    if (inotify_add_watch(inotifyFd, wormhole.folder().c_str(), IN_MOVED_TO | IN_CLOSE_WRITE) < 0) {
        const int error = errno;
        ::close(inotifyFd);
        return Error{"cannot watch " + wormhole.folder().string() + ": " + std::strerror(error)};
    }
    const int stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd < 0) {
        const int error = errno;
        ::close(inotifyFd);
        return Error{std::string("cannot watch for messages: ") + std::strerror(error)};
    }
    return std::unique_ptr<WormholeListener>(new WormholeListener(
        std::move(wormhole), std::move(identifier), std::move(callback), inotifyFd, stopFd));
}

WormholeListener::WormholeListener(Wormhole wormhole, std::string identifier, Callback callback,
                                   int inotifyFd, int stopFd)
    : wormhole_(std::move(wormhole)),
      identifier_(std::move(identifier)),
      callback_(std::move(callback)),
      inotifyFd_(inotifyFd),
      stopFd_(stopFd),
      thread_([this] { run(); }) {}

WormholeListener::~WormholeListener() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(stopFd_, &one, sizeof one);
    thread_.join();
    ::close(inotifyFd_);
    ::close(stopFd_);
}

void WormholeListener::run() {
    const std::string fileName = identifier_ + kMessageSuffix;
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        pollfd fds[2] = {{inotifyFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        bool arrived = false;
        for (;;) {
            const ssize_t n = ::read(inotifyFd_, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            for (ssize_t offset = 0; offset < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
                if (event->len > 0 && fileName == event->name) {
                    arrived = true;
                }
                offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        if (arrived) {
            if (auto bytes = wormhole_.message(identifier_)) {
                callback_(std::move(bytes).value());
            }
        }
    }
}

}  // namespace orlavine
