// Realistic documents (tests/data/usercss) read into what their authors meant.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document_fixtures.h"
#include "formats/usercss_reader.h"

namespace orlavine {
namespace {

using testing::bare;
using testing::section;

styleContainer readFile(const std::string& name) {
    auto style = readUserCSS(testing::readFixture(name));
    EXPECT_TRUE(style) << name;
    return style.value_or(styleContainer{});
}

TEST(Fixtures, DarkThemeWithManyBlocks) {
    const styleContainer s = readFile("dark-theme.user.css");
    EXPECT_EQ(s.styleData.name, "Midnight Reader");
    EXPECT_EQ(s.description,
              "A dark theme for the example sites.\n              "
              "  Easy on the eyes at night.");
    EXPECT_EQ(s.updateURL, "https://styles.example.org/midnight.user.css");
    const std::vector<styleSection>& sections = s.styleData.sections;
    ASSERT_EQ(sections.size(), 10u);
    EXPECT_TRUE(sections[0].code.starts_with(":root {\n    --midnight-bg: #121212;"));
    EXPECT_EQ(sections[1].domains, std::vector<std::string>{"news.example.com"});
    EXPECT_TRUE(sections[1].code.ends_with("filter: brightness(0.85);\n    }"));
    EXPECT_NE(sections[4].code.find("@media (max-width: 720px)"), std::string::npos);
    EXPECT_EQ(sections[6], bare(".midnight-banner { display: none; }"));
}

TEST(Fixtures, EveryKindOfVariable) {
    const styleContainer s = readFile("every-variable.user.css");
    ASSERT_EQ(s.userVariables->size(), 10u);
    const std::vector<userVariable>& v = *s.userVariables;
    EXPECT_EQ(v[0].defaultValue, "Read: later");
    EXPECT_EQ(v[4].rangeOptions, (rangeOpts{0, 32, 0.5, "px"}));
    EXPECT_EQ(v[5].defaultValue, "1");  // "dim*" carries the default mark
    EXPECT_EQ((*v[7].selectOptions)[0],
              (variableOption{"sans", "Sans serif",
                              "font-family: \"Inter\", 'Helvetica Neue', sans-serif;"}));
    EXPECT_EQ((*v[8].selectOptions)[0].value, "https://img.example.com/paper.png");
    EXPECT_EQ(v[9].defaultValue, "rgba(0, 0, 0, .25)");
}

TEST(Fixtures, RegexpRulesWithEscapes) {
    const styleContainer s = readFile("regexp-rules.user.css");
    const std::vector<styleSection>& sections = s.styleData.sections;
    ASSERT_EQ(sections.size(), 4u);
    EXPECT_EQ(sections[0].regexps,
              std::vector<std::string>{"https?://(www\\.)?example\\.(com|org)/docs/.*"});
    // The unquoted regexp is dropped; a comma inside a quoted address does not
    // cut.
    EXPECT_EQ(sections[3], section({.urls = {"https://example.com/a,b"},
                                    .urlPrefixes = {"https://example.com/c"}},
                                   ".note {\n        color: #555;\n    }"));
}

TEST(Fixtures, CommentsBetweenBlocks) {
    const std::vector<styleSection> sections =
        readFile("comments-between-blocks.css").styleData.sections;
    ASSERT_EQ(sections.size(), 8u);
    // The leading comment is read as the header of the first rule.
    EXPECT_EQ(sections[0], bare("scrollbar-color: #555 #222;"));
    EXPECT_TRUE(sections[2].code.starts_with("/* --- b.example --- */\n\n.b-sidebar {"));
    EXPECT_TRUE(sections[3].code.starts_with("// the c.example block follows\n\n.c-footer {"));
    EXPECT_TRUE(sections[3].code.ends_with("display: none; // hidden for good }\n    }"));
    EXPECT_EQ(sections[4], bare("/* one */ /* two */"));
    EXPECT_EQ(sections[6], bare("footer { display: none; }"));
    EXPECT_TRUE(sections[7].code.starts_with("/* @-moz-document domain(\"ignored.example\")"));
}

TEST(Fixtures, CrLfLineEndsAndStylusWithoutBraces) {
    const styleContainer crlf = readFile("crlf-line-ends.user.css");
    EXPECT_EQ(crlf.description, "Written on a machine\n  that ends its lines with CR LF.");
    EXPECT_EQ((*crlf.userVariables)[0].selectOptions->size(), 2u);
    EXPECT_EQ(
        crlf.styleData.sections,
        (std::vector<styleSection>{
            section({.domains = {"notes.example.com"}}, ".note {\n\tfont-size: /*[[size]]*/;\n}"),
            section({.urlPrefixes = {"https://notes.example.com/archive/"}},
                    "// blue links on the archive pages\n\na {\n\tcolor: "
                    "#3366cc;\n}")}));

    const styleContainer stylus = readFile("stylus-indented.user.styl");
    EXPECT_EQ(stylus.styleData.sections,
              (std::vector<styleSection>{section({.domains = {"quiet.example"}},
                                                 "header\n\tbackground headerBg\n\tpadding 4px "
                                                 "12px\nnav a\n\tcolor #61dafb"),
                                         section({.urlPrefixes = {"https://quiet.example/blog/"}},
                                                 "article\n\tmax-width 60em\n\tline-height 1.6")}));
}

}  // namespace
}  // namespace orlavine
