// Kills a process that keeps saving a large library at random moments: after every kill the
// library file, and the last message to the browser, must hold one whole library.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <iostream>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "model/atomic_file.h"
#include "model/record_json.h"
#include "model/style_store.h"
#include "support/test_support.h"

extern char** environ;

namespace orlavine {
namespace {

using Clock = std::chrono::steady_clock;

const std::filesystem::path kSaveLoop =
    std::filesystem::path(ORLAVINE_BINARY_DIR) / "tests" / "save_loop";

// The save loop as a child process whose standard output is a pipe.
class SaveLoop {
  public:
    explicit SaveLoop(const std::vector<std::string>& args = {}) {
        int fds[2];
        if (::pipe(fds) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
        std::vector<std::string> all = {kSaveLoop.string()};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, kSaveLoop.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        out_ = fds[0];
    }
    ~SaveLoop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            wait();
        }
        if (out_ >= 0) {
            ::close(out_);
        }
    }
    SaveLoop(const SaveLoop&) = delete;
    SaveLoop& operator=(const SaveLoop&) = delete;

    bool started() const { return pid_ > 0; }

    // Waits for the next "saved" line; false when the program ended or took too long.
    bool nextSave(std::chrono::seconds timeout = std::chrono::seconds(120)) {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            if (auto end = pending_.find('\n'); end != std::string::npos) {
                const bool saved = pending_.substr(0, end) == "saved";
                pending_.erase(0, end + 1);
                return saved;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd fd{out_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
                return false;
            }
            char buffer[256];
            const ssize_t n = ::read(out_, buffer, sizeof buffer);
            if (n <= 0) {
                return false;
            }
            pending_.append(buffer, static_cast<std::size_t>(n));
        }
    }

    // Kills the program; true when it was still running and SIGKILL ended it.
    bool kill() {
        ::kill(pid_, SIGKILL);
        const int status = wait();
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }

    // Waits for the program to end by itself and returns its exit code.
    int exitCode() {
        const int status = wait();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    int wait() {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return status;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    std::string pending_;
};

// Which of the two libraries `bytes` holds: 'a', 'b', or '?' for anything else.
char whichLibrary(const std::string& bytes, const styleDatabase& a, const styleDatabase& b) {
    auto db = decodeDatabase(bytes);
    if (!db || db->dbVersion != 1) {
        return '?';
    }
    return db->styles == a.styles ? 'a' : db->styles == b.styles ? 'b' : '?';
}

std::vector<std::string> leftoverTemporaries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(".styledb.sdb.tmp-")) {
            names.push_back(name);
        }
    }
    return names;
}

// Tells when a new library file starts being written (its temporary file appears) and when it
// takes the library's place.
class WriteWatch {
  public:
    explicit WriteWatch(const std::filesystem::path& folder)
        : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (fd_ >= 0 && inotify_add_watch(fd_, folder.c_str(), IN_CREATE | IN_MOVED_TO) < 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~WriteWatch() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    WriteWatch(const WriteWatch&) = delete;
    WriteWatch& operator=(const WriteWatch&) = delete;

    bool ok() const { return fd_ >= 0; }
    void forgetEarlierEvents() {
        while (next(std::chrono::milliseconds(0))) {
        }
    }
    bool waitForWriteStart() { return waitFor(IN_CREATE, ".styledb.sdb.tmp-"); }
    bool waitForReplacement() { return waitFor(IN_MOVED_TO, "styledb.sdb"); }

  private:
    struct Event {
        std::uint32_t mask;
        std::string name;
    };

    bool waitFor(std::uint32_t mask, const std::string& prefix) {
        const auto deadline = Clock::now() + std::chrono::seconds(60);
        while (Clock::now() < deadline) {
            auto event = next(std::chrono::milliseconds(100));
            if (event && (event->mask & mask) != 0 && event->name.starts_with(prefix)) {
                return true;
            }
        }
        return false;
    }

    std::optional<Event> next(std::chrono::milliseconds timeout) {
        if (queue_.empty()) {
            pollfd fd{fd_, POLLIN, 0};
            if (::poll(&fd, 1, static_cast<int>(timeout.count())) <= 0) {
                return std::nullopt;
            }
            alignas(inotify_event) char buffer[8192];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            for (ssize_t offset = 0; offset < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
                queue_.push_back({event->mask, event->len > 0 ? event->name : ""});
                offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
            if (queue_.empty()) {
                return std::nullopt;
            }
        }
        Event event = queue_.front();
        queue_.pop_front();
        return event;
    }

    int fd_;
    std::deque<Event> queue_;
};

TEST(CrashSafety, KillingASaveAtAnyMomentLeavesAWholeLibrary) {
    ASSERT_TRUE(std::filesystem::exists(kSaveLoop))
        << kSaveLoop << " is missing: build the whole tree before running the tests";
    testing::IsolatedHome home;
    const std::filesystem::path container = home.data();
    const std::filesystem::path file = container / "styledb.sdb";
    const std::filesystem::path message = container / "wormhole" / "styleDBUpdated.message";

    testing::TempDir expected;
    {
        SaveLoop writer({"expected", expected.path().string()});
        ASSERT_TRUE(writer.started());
        ASSERT_EQ(writer.exitCode(), 0);
    }
    const auto a = decodeDatabase(testing::readText(expected / "a.sdb"));
    const auto b = decodeDatabase(testing::readText(expected / "b.sdb"));
    ASSERT_TRUE(a && b);
    ASSERT_NE(a->styles, b->styles);
    const std::size_t librarySize = std::filesystem::file_size(expected / "a.sdb");
    EXPECT_GT(librarySize, 2u * 1024 * 1024);

    std::filesystem::create_directories(container);
    WriteWatch watch(container);
    ASSERT_TRUE(watch.ok());

    // How long a whole save and the file write within it take here.
    Clock::duration cycle{};
    Clock::duration write{};
    {
        SaveLoop loop;
        ASSERT_TRUE(loop.started());
        ASSERT_TRUE(loop.nextSave());
        const auto start = Clock::now();
        for (int i = 0; i < 4; ++i) {
            watch.forgetEarlierEvents();
            ASSERT_TRUE(watch.waitForWriteStart());
            const auto begun = Clock::now();
            ASSERT_TRUE(watch.waitForReplacement());
            write = std::max(write, Clock::now() - begun);
            ASSERT_TRUE(loop.nextSave());
        }
        cycle = (Clock::now() - start) / 4;
        ASSERT_TRUE(loop.kill());
    }

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    using std::chrono::microseconds;
    // Half the kills fall anywhere in two save cycles; the other half while the file is being
    // written, flushed and renamed, where a careless save would leave a broken library.
    std::uniform_int_distribution<std::int64_t> anywhere(
        0, std::chrono::duration_cast<microseconds>(cycle * 2).count());
    std::uniform_int_distribution<std::int64_t> duringWrite(
        0, std::chrono::duration_cast<microseconds>(write + write / 2).count());

    constexpr int kKills = 32;
    int killedMidWrite = 0;
    std::size_t temporaries = leftoverTemporaries(container).size();
    for (int round = 0; round < kKills; ++round) {
        SCOPED_TRACE("kill " + std::to_string(round));
        {
            SaveLoop loop;
            ASSERT_TRUE(loop.started());
            ASSERT_TRUE(loop.nextSave()) << "the save loop stopped before its first save";
            if (round % 2 == 0) {
                std::this_thread::sleep_for(microseconds(anywhere(random)));
            } else {
                watch.forgetEarlierEvents();
                ASSERT_TRUE(watch.waitForWriteStart());
                std::this_thread::sleep_for(microseconds(duringWrite(random)));
            }
            ASSERT_TRUE(loop.kill()) << "the save loop ended by itself";
        }
        auto bytes = readWholeFile(file, kMaxDatabaseBytes);
        ASSERT_TRUE(bytes) << bytes.error();
        ASSERT_NE(whichLibrary(*bytes, *a, *b), '?')
            << "the library file holds something else (" << bytes->size() << " bytes)";
        auto sent = readWholeFile(message, kMaxDatabaseBytes);
        ASSERT_TRUE(sent) << sent.error();
        ASSERT_NE(whichLibrary(*sent, *a, *b), '?')
            << "the last message holds something else (" << sent->size() << " bytes)";

        const std::size_t now = leftoverTemporaries(container).size();
        killedMidWrite += now > temporaries ? 1 : 0;
        temporaries = now;
    }
    using std::chrono::milliseconds;
    std::cout << "[ measure  ] " << librarySize << " bytes: save cycle "
              << std::chrono::duration_cast<milliseconds>(cycle).count() << " ms, file write "
              << std::chrono::duration_cast<milliseconds>(write).count() << " ms; "
              << killedMidWrite << " of " << kKills << " kills interrupted a file write\n";
    EXPECT_GT(killedMidWrite, 0) << "no kill landed while the file was written";

    // The next start reads the library; temporary files left behind are not taken for it.
    struct Lines : Reporter {
        void consoleLine(std::string_view line) override { lines.emplace_back(line); }
        void showAlert(std::string_view m, std::string_view) override { lines.emplace_back(m); }
        std::vector<std::string> lines;
    } reporter;
    NotificationCenter notifications;
    StyleStore store({container, &reporter, &notifications});
    const styleDatabase loaded = store.snapshot();
    EXPECT_TRUE(loaded.styles == a->styles || loaded.styles == b->styles);
    EXPECT_TRUE(reporter.lines.empty()) << reporter.lines.front();
    for (const auto& entry : std::filesystem::directory_iterator(container)) {
        EXPECT_FALSE(entry.path().filename().string().starts_with("styledb.sdb.unreadable-"))
            << entry.path();
    }
}

}  // namespace
}  // namespace orlavine
