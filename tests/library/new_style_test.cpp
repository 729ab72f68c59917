// Creating new styles from a name, a rule and a preprocessor.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library/new_style.h"
#include "library_fixture.h"

namespace orlavine {
namespace {

using testing::LibraryFixture;

TEST(NewStyle, OnlyANameWithSomethingBesidesBlanksCanBeCreated) {
    EXPECT_FALSE(canCreateStyle(""));
    EXPECT_FALSE(canCreateStyle(" \t\n\u00a0\u3000"));
    EXPECT_TRUE(canCreateStyle(" x "));

    LibraryFixture f;
    EXPECT_FALSE(createNewStyle(NewStyleForm{.name = "  \n"}, f.services()));
    EXPECT_TRUE(f.store->snapshot().styles.empty());
    EXPECT_TRUE(f.posted.empty());
}

TEST(NewStyle, TheFirstStyleGetsTheGuideAndLaterOnesStartEmpty) {
    LibraryFixture f;
    f.settings.app.set("DefaultAuthor", "Ana");
    const auto first = createNewStyle(NewStyleForm{.name = "  My style \n"}, f.services());
    const auto second = createNewStyle(NewStyleForm{.name = "Second"}, f.services());
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);
    EXPECT_FALSE(f.settings.app.boolValue("isFirstStyle"));

    const styleDatabase db = f.saved();
    ASSERT_EQ(db.styles.size(), 2u);
    const styleContainer& s = db.styles[0];
    EXPECT_EQ(s.uniqueID, *first);
    EXPECT_EQ(s.styleData.name, "My style");
    EXPECT_EQ(s.source, "custom");
    EXPECT_EQ(s.userstyleID, -1);
    EXPECT_EQ(s.author, "Ana");
    EXPECT_TRUE(s.namespace_.starts_with("orlavine"));
    EXPECT_EQ(s.version, "1.0.0");
    EXPECT_EQ(s.preprocessor, "default");
    EXPECT_TRUE(s.isEnabled);
    EXPECT_EQ(s.allowIframe, true);
    ASSERT_EQ(s.styleData.sections.size(), 1u);
    EXPECT_EQ(s.styleData.sections[0].code, kFirstStyleTemplate);
    EXPECT_TRUE(
        s.styleData.sections[0].code.starts_with("/* Hey there! Thanks for buying Orlavine."));
    EXPECT_TRUE(s.styleData.sections[0].code.ends_with("make something beautiful! */"));
    // The tips name what the user has here, not another platform's tools.
    for (const char* foreign : {"Safari", "Web Inspector", "iCloud", "macOS", "Mac "}) {
        EXPECT_EQ(s.styleData.sections[0].code.find(foreign), std::string::npos) << foreign;
    }
    EXPECT_NE(s.styleData.sections[0].code.find("developer tools"), std::string::npos);
    EXPECT_EQ(db.styles[1].styleData.sections[0].code, "");
    EXPECT_EQ(db.styles[1].author, "Ana");

    // Each creation opens the style and adds it to the list.
    EXPECT_EQ(f.postedNames(), (std::vector<std::string>{"addToOpenStyles", "addLatestStyle",
                                                         "addToOpenStyles", "addLatestStyle"}));
    EXPECT_EQ(std::get<std::int64_t>(f.posted[0].userInfo.at("id")), *first);
}

TEST(NewStyle, TheRuleGoesToTheChosenListAndThePreprocessorIsSet) {
    LibraryFixture f;
    f.settings.app.set("isFirstStyle", false);
    const auto section = [&](int ruleType, const std::string& rule) {
        const auto id = createNewStyle(
            NewStyleForm{.name = "S", .ruleType = ruleType, .rule = rule}, f.services());
        return f.store->styleByID(*id)->styleData.sections.at(0);
    };
    EXPECT_EQ(section(0, " a.example ").domains, std::vector<std::string>{"a.example"});
    EXPECT_EQ(section(1, "https://a.example/").urls,
              std::vector<std::string>{"https://a.example/"});
    EXPECT_EQ(section(2, "https://a.example/x").urlPrefixes,
              std::vector<std::string>{"https://a.example/x"});
    EXPECT_EQ(section(3, "\t^https://a\\.example/.*$\n").regexps,
              std::vector<std::string>{"^https://a\\.example/.*$"});
    EXPECT_EQ(section(7, "b.example").domains, std::vector<std::string>{"b.example"});
    const styleSection everywhere = section(2, "   ");
    EXPECT_TRUE(everywhere.domains.empty() && everywhere.urls.empty() &&
                everywhere.urlPrefixes.empty() && everywhere.regexps.empty());

    const auto preprocessor = [&](int index) {
        const auto id =
            createNewStyle(NewStyleForm{.name = "P", .preprocessor = index}, f.services());
        return f.store->styleByID(*id)->preprocessor;
    };
    EXPECT_EQ(preprocessor(0), "default");
    EXPECT_EQ(preprocessor(1), "stylus");
    EXPECT_EQ(preprocessor(2), "less");
    EXPECT_EQ(preprocessor(9), "default");
}

}  // namespace
}  // namespace orlavine
