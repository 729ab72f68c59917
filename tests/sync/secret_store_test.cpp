// The password kept in the Secret Service, run against gnome-keyring on a private D-Bus session
// so the user's own keyring is never touched.

#include "sync/secret_store.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace orlavine::sync {
namespace {

constexpr const char* kInsideVariable = "ORLAVINE_PRIVATE_KEYRING";

std::string selfPath() {
    return std::filesystem::read_symlink("/proc/self/exe").string();
}

bool toolsPresent() {
    return std::system("command -v dbus-run-session >/dev/null 2>&1") == 0 &&
           std::system("command -v gnome-keyring-daemon >/dev/null 2>&1") == 0;
}

TEST(SecretStore, KeepsThePasswordInTheKeyringOnly) {
    if (std::getenv(kInsideVariable) == nullptr) {
        if (!toolsPresent()) {
            GTEST_SKIP() << "dbus-run-session or gnome-keyring-daemon is not installed "
                            "(scripts/install-deps installs them)";
        }
        // Run this same test again inside a private session bus with an unlocked keyring.
        orlavine::testing::TempDir home;
        const std::string script =
            "export HOME='" + home.path().string() + "' XDG_DATA_HOME='" + home.path().string() +
            "/data' XDG_RUNTIME_DIR='" + home.path().string() + "' " + kInsideVariable +
            "=1; "
            "echo -n test | gnome-keyring-daemon --unlock --components=secrets >/dev/null "
            "2>&1 || exit 77; exec '" +
            selfPath() + "' --gtest_filter=SecretStore.KeepsThePasswordInTheKeyringOnly";
        const std::string command = "dbus-run-session -- sh -c \"" + script + "\" >" +
                                    (home.path() / "log").string() + " 2>&1";
        const int status = std::system(command.c_str());
        const std::string log = orlavine::testing::readText(home.path() / "log");
        if (WIFEXITED(status) && WEXITSTATUS(status) == 77) {
            GTEST_SKIP() << "gnome-keyring-daemon could not start: " << log;
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << log;
        EXPECT_NE(log.find("[  PASSED  ] 1 test"), std::string::npos) << log;
        return;
    }

    const std::string server = "https://dav.example.org/files/";
    ASSERT_TRUE(storePassword(server, "ann", "first secret")) << "store";
    ASSERT_TRUE(storePassword(server, "bob", "bob's secret"));
    // Storing again replaces the password.
    ASSERT_TRUE(storePassword(server, "ann", "second secret"));
    Result<std::string> found = lookupPassword(server, "ann");
    ASSERT_TRUE(found) << found.error();
    EXPECT_EQ(*found, "second secret");
    EXPECT_EQ(*lookupPassword(server, "bob"), "bob's secret");
    EXPECT_FALSE(lookupPassword("https://other.example.org/", "ann"));
    ASSERT_TRUE(clearPassword(server, "ann"));
    EXPECT_FALSE(lookupPassword(server, "ann"));
    EXPECT_TRUE(lookupPassword(server, "bob"));
}

}  // namespace
}  // namespace orlavine::sync
