#include "model/folder_watcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace orlavine {

Result<std::unique_ptr<FolderWatcher>> FolderWatcher::start(const std::filesystem::path& folder,
                                                            Callback callback) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        return Error{"cannot create " + folder.string() + ": " + ec.message()};
    }
    const int inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd < 0) {
        return Error{"cannot watch " + folder.string() + ": " + std::strerror(errno)};
    }
    if (inotify_add_watch(inotifyFd, folder.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE) < 0) {
        const int error = errno;
        ::close(inotifyFd);
        return Error{"cannot watch " + folder.string() + ": " + std::strerror(error)};
    }
    const int stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd < 0) {
        const int error = errno;
        ::close(inotifyFd);
        return Error{"cannot watch " + folder.string() + ": " + std::strerror(error)};
    }
    return std::unique_ptr<FolderWatcher>(
        new FolderWatcher(std::move(callback), inotifyFd, stopFd));
}

FolderWatcher::FolderWatcher(Callback callback, int inotifyFd, int stopFd)
    : callback_(std::move(callback)),
      inotifyFd_(inotifyFd),
      stopFd_(stopFd),
      thread_([this] { run(); }) {}

FolderWatcher::~FolderWatcher() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(stopFd_, &one, sizeof one);
    thread_.join();
    ::close(inotifyFd_);
    ::close(stopFd_);
}

void FolderWatcher::run() {
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
        std::set<std::string> names;
        for (;;) {
            const ssize_t n = ::read(inotifyFd_, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            for (ssize_t offset = 0; offset < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
                if (event->len > 0) {
                    names.insert(event->name);
                }
                offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        if (!names.empty()) {
            callback_(names);
        }
    }
}

}  // namespace orlavine
