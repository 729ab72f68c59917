// Starting the desktop program from the browser host, with a stand-in program that records what
// it was given and waits for the test to let it end.

#include "extension/app_launcher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "support/test_support.h"

namespace orlavine {
namespace {

using testing::readText;
using testing::TempDir;
using testing::writeText;

// Polls `done` for at most ten seconds.
template <typename Predicate>
bool eventually(Predicate done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

TEST(AppLauncher, StartsOneDetachedProgramAtATime) {
    TempDir dir;
    // Records its open descriptors, its session and its arguments, then waits for "release".
    writeText(
        dir / "fake-orlavine",
        "#!/bin/sh\n"
        "dir='" +
            dir.path().string() +
            "'\n"
            "n=$(ls \"$dir\" | grep -c '^started-')\n"
            "links=$(for f in /proc/$$/fd/*; do echo \"${f##*/} $(readlink $f)\"; done)\n"
            "[ \"$(cut -d' ' -f6 /proc/$$/stat)\" = \"$$\" ] && links=\"$links\nown-session\"\n"
            "printf '%s\\nargs %s\\n' \"$links\" \"$*\" >\"$dir/tmp-$n\"\n"
            "mv \"$dir/tmp-$n\" \"$dir/started-$n\"\n"
            "i=0; while [ ! -e \"$dir/release\" ] && [ $i -lt 600 ]; do\n"
            "  sleep 0.05; i=$((i+1)); done\n");
    std::filesystem::permissions(dir / "fake-orlavine", std::filesystem::perms(0755));
    ::setenv("ORLAVINE_APP", (dir / "fake-orlavine").c_str(), 1);
    // A pipe of the browser's that was not marked close-on-exec.
    int stray[2] = {-1, -1};
    ASSERT_EQ(::pipe(stray), 0);
    const std::string strayPipe =
        std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(stray[1])).string();

    ASSERT_TRUE(launchApplication({"orlavine://openstyle/7"}));
    ASSERT_TRUE(eventually([&] { return std::filesystem::exists(dir / "started-0"); }));
    // While it runs, further requests start nothing.
    for (int i = 0; i < 3; ++i) {
        const Status again = launchApplication({});
        ASSERT_FALSE(again);
        EXPECT_NE(again.error().find("still running"), std::string::npos) << again.error();
    }
    const std::string first = readText(dir / "started-0");
    for (const char* expected : {"0 /dev/null\n", "1 /dev/null\n", "2 /dev/null\n", "own-session\n",
                                 "args orlavine://openstyle/7\n"}) {
        EXPECT_NE(first.find(expected), std::string::npos) << expected << " in\n" << first;
    }
    EXPECT_EQ(first.find(strayPipe), std::string::npos) << first;

    writeText(dir / "release", "");
    // Once it has ended (and was reaped) the next request starts it again.
    ASSERT_TRUE(eventually([] { return launchApplication({"again"}).ok(); }));
    ASSERT_TRUE(eventually([&] { return std::filesystem::exists(dir / "started-1"); }));
    EXPECT_NE(readText(dir / "started-1").find("args again"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "started-2"));
    ::close(stray[0]);
    ::close(stray[1]);
    ::unsetenv("ORLAVINE_APP");
}

}  // namespace
}  // namespace orlavine
