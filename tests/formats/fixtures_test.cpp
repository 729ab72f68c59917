// Realistic documents (tests/data/usercss) read into what their authors meant.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document_fixtures.h"
#include "formats/usercss_reader.h"

namespace orlavine {
namespace {

using testing::bare;
using testing::readFixture;
using testing::section;

styleContainer readFile(const std::string& name) {
    auto style = readUserCSS(readFixture(name));
    EXPECT_TRUE(style) << name;
    return style.value_or(styleContainer{});
}

std::vector<std::string> types(const styleContainer& s) {
    std::vector<std::string> out;
    for (const userVariable& v : s.userVariables.value_or(std::vector<userVariable>{})) {
        out.push_back(v.type + " " + v.name);
    }
    return out;
}

TEST(Fixtures, DarkThemeWithManyBlocks) {
    const styleContainer s = readFile("dark-theme.user.css");
    EXPECT_EQ(s.styleData.name, "Midnight Reader");
    EXPECT_EQ(s.description,
              "A dark theme for the example sites.\n                Easy on the eyes at night.");
    EXPECT_EQ(s.author, "Ana Vidal <ana@example.org>");
    EXPECT_EQ(s.homepageURL, "https://styles.example.org/midnight");
    EXPECT_EQ(s.supportURL, "https://styles.example.org/midnight/issues");
    EXPECT_EQ(s.updateURL, "https://styles.example.org/midnight.user.css");
    EXPECT_EQ(s.license, "CC-BY-SA-4.0");
    EXPECT_EQ(s.version, "2.3.1");

    const std::vector<styleSection>& sections = s.styleData.sections;
    ASSERT_EQ(sections.size(), 10u);
    EXPECT_TRUE(sections[0].code.starts_with(":root {\n    --midnight-bg: #121212;"));
    EXPECT_EQ(sections[1].domains, std::vector<std::string>{"news.example.com"});
    EXPECT_TRUE(sections[1].code.starts_with("body {\n        background:"));
    EXPECT_TRUE(sections[1].code.ends_with("filter: brightness(0.85);\n    }"));
    EXPECT_EQ(sections[2].urlPrefixes, std::vector<std::string>{"https://example.com/mail/"});
    EXPECT_NE(sections[3].code.find("url(https://cdn.example.com/noise.png);"), std::string::npos);
    EXPECT_EQ(sections[3].urls, std::vector<std::string>{"https://example.com/"});
    EXPECT_NE(sections[4].code.find("@media (max-width: 720px)"), std::string::npos);
    EXPECT_EQ(sections[5].urlPrefixes.size(), 2u);
    EXPECT_EQ(sections[6], bare(".midnight-banner { display: none; }"));
    EXPECT_EQ(sections[9].domains, std::vector<std::string>{"forum.example.com"});
}

TEST(Fixtures, EveryKindOfVariable) {
    const styleContainer s = readFile("every-variable.user.css");
    EXPECT_EQ(types(s), (std::vector<std::string>{"text headline", "color accent",
                                                  "checkbox rounded", "number columns", "range gap",
                                                  "select theme", "select density", "dropdown font",
                                                  "image backdrop", "color border"}));
    const std::vector<userVariable>& v = *s.userVariables;
    EXPECT_EQ(v[0].defaultValue, "Read: later");
    EXPECT_EQ(v[1].defaultValue, "#ff7a00");
    EXPECT_EQ(v[3].rangeOptions, (rangeOpts{1, 12, 1, std::nullopt}));
    EXPECT_EQ(v[4].rangeOptions, (rangeOpts{0, 32, 0.5, "px"}));
    EXPECT_EQ(v[5].defaultValue, "1");  // "dim*" carries the default mark
    EXPECT_EQ((*v[5].selectOptions)[1], (variableOption{"dim*", "Dim", "#333"}));
    EXPECT_EQ(v[6].defaultValue, "1");
    ASSERT_EQ(v[7].selectOptions->size(), 3u);
    EXPECT_EQ((*v[7].selectOptions)[0],
              (variableOption{"sans", "Sans serif",
                              "font-family: \"Inter\", 'Helvetica Neue', sans-serif;"}));
    EXPECT_EQ((*v[7].selectOptions)[2].value, "font-family: \"JetBrains Mono\", monospace;");
    EXPECT_EQ((*v[8].selectOptions)[0].value, "https://img.example.com/paper.png");
    EXPECT_EQ(v[9].label, "Border colour");
    EXPECT_EQ(v[9].defaultValue, "rgba(0, 0, 0, .25)");
    for (const userVariable& each : v) {
        EXPECT_EQ(each.currentValue, each.defaultValue) << each.name;
    }
}

TEST(Fixtures, RegexpRulesWithEscapes) {
    const styleContainer s = readFile("regexp-rules.user.css");
    const std::vector<styleSection>& sections = s.styleData.sections;
    ASSERT_EQ(sections.size(), 4u);
    EXPECT_EQ(sections[0].regexps,
              std::vector<std::string>{"https?://(www\\.)?example\\.(com|org)/docs/.*"});
    EXPECT_EQ(sections[1].regexps,
              std::vector<std::string>{"^https://search\\.example\\.net/\\?q=.*"});
    EXPECT_EQ(sections[1].urlPrefixes,
              std::vector<std::string>{"https://search.example.net/advanced"});
    EXPECT_EQ(sections[2].regexps,
              std::vector<std::string>{"https://forum\\.example\\.com/t/\\d+"});
    // The unquoted regexp is dropped; a comma inside a quoted address does not cut.
    EXPECT_EQ(sections[3], section({.urls = {"https://example.com/a,b"},
                                    .urlPrefixes = {"https://example.com/c"}},
                                   ".note {\n        color: #555;\n    }"));
}

TEST(Fixtures, CommentsBetweenBlocks) {
    const styleContainer s = readFile("comments-between-blocks.css");
    EXPECT_EQ(s.styleData.name, "Style From User CSS");
    const std::vector<styleSection>& sections = s.styleData.sections;
    ASSERT_EQ(sections.size(), 8u);
    // The leading comment is read as the header of the first rule.
    EXPECT_EQ(sections[0], bare("scrollbar-color: #555 #222;"));
    EXPECT_EQ(sections[1].domains, std::vector<std::string>{"a.example"});
    EXPECT_TRUE(sections[2].code.starts_with("/* --- b.example --- */\n\n.b-sidebar {"));
    EXPECT_TRUE(sections[3].code.starts_with("// the c.example block follows\n\n.c-footer {"));
    EXPECT_TRUE(sections[3].code.ends_with("display: none; // hidden for good }\n    }"));
    EXPECT_EQ(sections[4], bare("/* one */ /* two */"));
    EXPECT_TRUE(sections[5].code.starts_with(".d-ad {"));
    EXPECT_EQ(sections[6], bare("footer { display: none; }"));
    EXPECT_EQ(sections[7].domains, std::vector<std::string>{"e.example"});
    EXPECT_TRUE(sections[7].code.starts_with("/* @-moz-document domain(\"ignored.example\")"));
}

TEST(Fixtures, CrLfLineEnds) {
    const styleContainer s = readFile("crlf-line-ends.user.css");
    EXPECT_EQ(s.styleData.name, "Windows Notes");
    EXPECT_EQ(s.description, "Written on a machine\n  that ends its lines with CR LF.");
    ASSERT_EQ(s.userVariables->size(), 1u);
    EXPECT_EQ((*s.userVariables)[0].selectOptions->size(), 2u);
    EXPECT_EQ((*s.userVariables)[0].defaultValue, "1");
    EXPECT_EQ(
        s.styleData.sections,
        (std::vector<styleSection>{
            section({.domains = {"notes.example.com"}}, ".note {\n\tfont-size: /*[[size]]*/;\n}"),
            section({.urlPrefixes = {"https://notes.example.com/archive/"}},
                    "// blue links on the archive pages\n\na {\n\tcolor: #3366cc;\n}")}));
}

TEST(Fixtures, StylusWithoutBraces) {
    const styleContainer s = readFile("stylus-indented.user.styl");
    EXPECT_EQ(s.preprocessor, "stylus");
    EXPECT_EQ(types(s), std::vector<std::string>{"color headerBg"});
    EXPECT_EQ(
        s.styleData.sections,
        (std::vector<styleSection>{
            section({.domains = {"quiet.example"}},
                    "header\n\tbackground headerBg\n\tpadding 4px 12px\nnav a\n\tcolor #61dafb"),
            section({.urlPrefixes = {"https://quiet.example/blog/"}},
                    "article\n\tmax-width 60em\n\tline-height 1.6")}));
}

}  // namespace
}  // namespace orlavine
