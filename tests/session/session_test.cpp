#include "session/session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>

#include "model/settings_keys.h"
#include "support/test_support.h"

namespace orlavine {
namespace {

// Collects the notices one program receives, and waits (bounded) for one to arrive.
class Notices {
  public:
    explicit Notices(NotificationCenter& center) {
        for (const char* name : {notifications::kLibraryChanged, notifications::kSettingsChanged}) {
            center.addObserver(name, [this](const Notification& n) {
                std::lock_guard lock(mutex_);
                std::string text = n.name;
                if (n.userInfo.contains("everything")) {
                    text += " everything";
                }
                if (n.userInfo.contains("key")) {
                    text += " " + std::get<std::string>(n.userInfo.at("file")) + " " +
                            std::get<std::string>(n.userInfo.at("key"));
                }
                seen_.insert(text);
                arrived_.notify_all();
            });
        }
    }
    bool waitFor(const std::string& text) {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, std::chrono::seconds(10),
                                 [&] { return seen_.contains(text); });
    }

  private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::set<std::string> seen_;
};

TEST(Session, RegistersEveryDefaultAndHearsWhatOtherProgramsChange) {
    testing::TempDir home;
    const Session::Options options{home / "data", home / "config", home / "cache", std::nullopt};
    testing::QuietReporter reporter;
    Session mine(reporter, options);
    Session theirs(reporter, options);

    // Defaults answer in every program, for every store, without being written.
    EXPECT_TRUE(mine.settings().shared.boolValue(keys::kToggleShortcut));
    EXPECT_EQ(mine.settings().app.intValue(keys::kEditorFontSize), 12);
    EXPECT_TRUE(mine.settings().extension.boolValue(keys::kEnableStyles));
    EXPECT_FALSE(std::filesystem::exists(home / "config" / "app.json"));

    Notices heard(mine.notifications());
    ASSERT_TRUE(mine.watchOtherPrograms());
    ASSERT_TRUE(theirs.store().add(testing::sampleStyle(1, "From another program")));
    ASSERT_TRUE(theirs.settings().shared.set(keys::kToggleShortcut, false));
    EXPECT_TRUE(heard.waitFor("libraryChanged everything"));
    EXPECT_TRUE(heard.waitFor("settingsChanged shared.json toggleShortcut"));
    EXPECT_EQ(mine.store().styleCount(), 1u);
    EXPECT_FALSE(mine.settings().shared.boolValue(keys::kToggleShortcut));

    // Changes made here are told too.
    ASSERT_TRUE(mine.settings().app.set(keys::kEditorFontSize, 14));
    EXPECT_TRUE(heard.waitFor("settingsChanged app.json ACEFontSize"));
}

}  // namespace
}  // namespace orlavine
