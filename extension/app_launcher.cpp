#include "extension/app_launcher.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <filesystem>
#include <mutex>
#include <thread>

namespace orlavine {
namespace {

std::string applicationPath() {
    if (const char* forced = std::getenv("ORLAVINE_APP"); forced != nullptr && *forced != '\0') {
        return forced;
    }
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const auto sibling = self.parent_path() / "orlavine";
        if (std::filesystem::exists(sibling, ec)) {
            return sibling.string();
        }
        // In the build tree the program lives in app/ beside extension/.
        const auto built = self.parent_path().parent_path() / "app" / "orlavine";
        if (std::filesystem::exists(built, ec)) {
            return built.string();
        }
    }
    return "orlavine";
}

// Whether a program started here still runs; kept for the life of the process, since the
// reaper threads may outlive everything else.
struct Launches {
    std::mutex mutex;
    bool running = false;
};

Launches& launches() {
    static auto* state = new Launches;
    return *state;
}

}  // namespace

Status launchApplication(const std::vector<std::string>& arguments) {
    Launches& state = launches();
    std::lock_guard lock(state.mutex);
    // A page that asks again and again must not start a crowd of programs.
    if (state.running) {
        return Error{"Orlavine is still running from an earlier request; this one is ignored."};
    }
    const std::string program = applicationPath();
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> raw;
    raw.reserve(argv.size() + 1);
    for (std::string& a : argv) {
        raw.push_back(a.data());
    }
    raw.push_back(nullptr);

    // The program must not hold the browser's pipes (standard error included), or the browser
    // would wait on it; in a session of its own it is no part of the browser's process group.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t child = 0;
    const int error =
        posix_spawnp(&child, program.c_str(), &actions, &attributes, raw.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        return Error{"cannot start " + program + ": " + std::strerror(error)};
    }
    state.running = true;
    // Reap it in the background so it never lingers as a zombie of the host.
    std::thread([child, &state] {
        while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
        std::lock_guard done(state.mutex);
        state.running = false;
    }).detach();
    return Done{};
}

}  // namespace orlavine
