// Live preview's ordering: a preview that ended while its copy compiled stays ended, and a copy
// that does not compile leaves the last good one.

#include "library/live_preview.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "model/style_preview.h"
#include "model/wormhole.h"
#include "support/test_support.h"

namespace orlavine {
namespace {

// The code of each previewed style, as the browser host would read the message now.
std::vector<std::string> shownCode(const testing::TempDir& home) {
    Result<std::string> message = Wormhole(home.path()).message(kStylePreview);
    std::vector<std::string> codes;
    for (const styleContainer& s :
         message ? livePreviews(*message) : std::vector<styleContainer>{}) {
        codes.push_back(s.styleData.sections.at(0).code);
    }
    return codes;
}

styleContainer copyWith(const std::string& code) {
    styleContainer s = testing::sampleStyle(7, "Edited");
    s.styleData.sections.at(0).code = code;
    return s;
}

TEST(LivePreview, EndsHoldAndBrokenCopiesKeepTheLastGoodOne) {
    testing::TempDir home;
    std::mutex mutex;
    std::condition_variable changed;
    bool holdFirst = true;
    bool firstCompiling = false;
    LivePreview preview(home.path(), [&](styleContainer& s) {
        const std::string code = s.styleData.sections.at(0).code;
        std::unique_lock lock(mutex);
        if (code == "old") {
            firstCompiling = true;
            changed.notify_all();
            changed.wait(lock, [&] { return !holdFirst; });
        }
        return code != "broken";
    });

    // A preview that ends while its copy compiles stays ended: the copy is dropped.
    std::thread older([&] { (void)preview.show(copyWith("old")); });
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return firstCompiling; });
    }
    ASSERT_TRUE(preview.end(7));
    {
        std::lock_guard lock(mutex);
        holdFirst = false;
    }
    changed.notify_all();
    older.join();
    EXPECT_FALSE(preview.showing(7));
    EXPECT_TRUE(shownCode(home).empty());

    ASSERT_TRUE(preview.show(copyWith("new")));
    EXPECT_EQ(shownCode(home), std::vector<std::string>{"new"});

    // A copy that does not compile leaves the last good one; an end empties the message.
    ASSERT_TRUE(preview.show(copyWith("broken")));
    EXPECT_EQ(shownCode(home), std::vector<std::string>{"new"});
    ASSERT_TRUE(preview.end(7));
    EXPECT_FALSE(preview.showing(7));
    EXPECT_TRUE(shownCode(home).empty());
}

}  // namespace
}  // namespace orlavine
