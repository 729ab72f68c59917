// The live preview message between the desktop program and the browser host.

#include "model/style_preview.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "model/style_factory.h"
#include "support/test_support.h"

namespace orlavine {
namespace {

TEST(StylePreview, TravelsWhileItsSenderRunsAndShowsOverTheSavedStyle) {
    styleContainer edited = testing::sampleStyle(2, "Edited");
    edited.styleData.sections.at(0).code = "p { color: red; }";
    edited.isEnabled = true;
    const std::string message = encodePreviews({::getpid(), {edited}});

    std::vector<styleContainer> shown = livePreviews(message);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], edited);

    // Shown in place of the saved style, keeping its switch; a preview of a style that is not
    // in the library shows nothing.
    styleDatabase db = newDatabase();
    db.styles = {testing::sampleStyle(1, "One"), testing::sampleStyle(2, "Saved")};
    db.styles[1].isEnabled = false;
    styleContainer stray = testing::sampleStyle(9, "Gone");
    const styleDatabase over = withPreviews(db, {edited, stray});
    ASSERT_EQ(over.styles.size(), 2u);
    EXPECT_EQ(over.styles[0], db.styles[0]);
    EXPECT_EQ(over.styles[1].styleData.sections.at(0).code, "p { color: red; }");
    EXPECT_FALSE(over.styles[1].isEnabled);

    // A sender that has ended, and anything that is not a preview, show nothing.
    pid_t ended = ::fork();
    if (ended == 0) {
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(ended, &status, 0);
    EXPECT_TRUE(livePreviews(encodePreviews({ended, {edited}})).empty());
    for (const std::string& bad :
         {std::string(), std::string("orlavine-preview 1 "),
          std::string("orlavine-preview 1 x\n{}"),
          std::string("orlavine-preview 1 12\n{\"styles\": 7}"), message.substr(0, 40),
          std::string("something else\n") + message}) {
        EXPECT_FALSE(decodePreviews(bad)) << bad;
    }
}

}  // namespace
}  // namespace orlavine
