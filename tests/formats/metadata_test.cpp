// The metadata comment of UserCSS documents and the style a document becomes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document_fixtures.h"
#include "formats/usercss_reader.h"
#include "formats/variable_declaration_reader.h"

namespace orlavine {
namespace {

using testing::bare;
using testing::section;

std::string document(const std::vector<std::string>& metadata, const std::string& code) {
    std::string text = "/* ==UserStyle==\n";
    for (const std::string& line : metadata) {
        text += line + "\n";
    }
    return text + "==/UserStyle== */\n" + code;
}

const std::string kBlock = "@-moz-document domain('a.example') {\n\tp { color: red }\n}";
const styleSection kBlockSection = section({.domains = {"a.example"}}, "p { color: red }");

TEST(Metadata, ADocumentBecomesANewUserCSSStyle) {
    const Date before = Date::now();
    UserCSSReadHooks hooks;
    hooks.newUniqueID = [] { return 4000000000; };
    const auto style = readUserCSS(
        document({"@name Dark Mode", "@version 1.0.0", "@preprocessor default"}, kBlock), hooks);
    ASSERT_TRUE(style);
    EXPECT_EQ(style->uniqueID, 4000000000);
    EXPECT_EQ(style->styleData.name, "Dark Mode");
    EXPECT_EQ(style->version, "1.0.0");
    EXPECT_EQ(style->preprocessor, "default");
    EXPECT_EQ(style->source, "usercss");
    EXPECT_EQ(style->userstyleID, -1);
    EXPECT_TRUE(style->isEnabled);
    EXPECT_EQ(style->allowIframe, true);
    EXPECT_EQ(style->styleData.sections, std::vector<styleSection>{kBlockSection});
    EXPECT_FALSE(style->updateURL);
    EXPECT_EQ(style->userVariables, std::vector<userVariable>{});
    EXPECT_TRUE(style->dateModified && *style->dateModified >= before);

    // Without a name the reader names it; an update address is kept even when
    // empty.
    const auto unnamed = readUserCSS(document({"@updateURL"}, kBlock));
    EXPECT_EQ(unnamed->styleData.name, "Style From User CSS");
    EXPECT_EQ(unnamed->updateURL, "");
}

TEST(Metadata, KeysValuesAndTheirOrderOfPrecedence) {
    const auto style = readUserCSS(
        document({"@name First", "  @name   Second  ", "@namespace x", "@author Jo <jo@example>",
                  "@homepageURL https://h.example/", "@supportURL https://s.example/",
                  "@updateURL https://u.example/s.user.css", "@license MIT",
                  "@name Third @namespace y", "@versionless 2", "random words"},
                 kBlock));
    ASSERT_TRUE(style);
    EXPECT_EQ(style->styleData.name,
              "Second");  // a line holding "@namespace" is no name
    EXPECT_EQ(style->namespace_, "x");
    EXPECT_EQ(style->author, "Jo <jo@example>");
    EXPECT_EQ(style->homepageURL, "https://h.example/");
    EXPECT_EQ(style->supportURL, "https://s.example/");
    EXPECT_EQ(style->updateURL, "https://u.example/s.user.css");
    EXPECT_EQ(style->license, "MIT");
    EXPECT_EQ(style->version, "less 2");  // the key is a prefix of the line
}

TEST(Metadata, DescriptionsRunOnUntilTheNextKey) {
    const auto style = readUserCSS(document(
        {"@description First line", "   second line  ", "third", "@version 1", "not joined"},
        kBlock));
    EXPECT_EQ(style->description, "First line\n   second line  \nthird");
    // A key in another letter case is ignored, and ends the description.
    const auto other = readUserCSS(
        document({"@description One", "two", "@HomepageURL http://a.example/", "three"}, kBlock));
    EXPECT_EQ(other->description, "One\ntwo");
    EXPECT_EQ(other->homepageURL, "");
    // CR LF line ends join like LF.
    const auto crlf =
        readUserCSS("/* ==UserStyle==\r\n@description a\r\n  b\r\n==/UserStyle== */\r\n" + kBlock);
    EXPECT_EQ(crlf->description, "a\n  b");
}

TEST(Metadata, VariableDeclarationsSpanLinesUpToTheNextKeyOrTheEnd) {
    const auto style = readUserCSS(
        document({"@var select theme 'Theme' {", "  'dark:Dark': '#000',",
                  "  'light*:Light': '#fff'", "}", "@advanced text greeting 'Greeting' Hello there",
                  "@var slider x 'X' 1", "@var color fg 'Text' #eee"},
                 kBlock));
    ASSERT_TRUE(style && style->userVariables);
    const std::vector<userVariable>& vars = *style->userVariables;
    ASSERT_EQ(vars.size(), 3u);  // the unknown type is skipped
    EXPECT_EQ(vars[0].selectOptions->size(), 2u);
    EXPECT_EQ(vars[0].defaultValue, "1");
    EXPECT_EQ(vars[1].defaultValue, "Hello there");
    EXPECT_EQ(vars[2].name, "fg");

    // A declaration cut off by the end of the chunk is dropped; one followed by
    // the end marker is read.
    EXPECT_EQ(readUserCSS("/* ==UserStyle==\n@var color a 'A' #111\n==/UserStyle==*/\n" + kBlock)
                  ->userVariables,
              std::vector<userVariable>{});
    EXPECT_EQ(readUserCSS(document({"@var color a 'A' #111"}, kBlock))->userVariables->size(), 1u);
}

TEST(Metadata, FreeTextBetweenDeclarationsIsNotPartOfThem) {
    // Separator lines and headings between @var lines, as public styles write them.
    const auto style = readUserCSS(document({"@var checkbox hideAds 'Hide ads' 0",
                                             "---",
                                             "Old Reddit Options",
                                             "---",
                                             "@var select theme 'Theme' {",
                                             "  'dark:Dark': '#000',",
                                             "",
                                             "  'light*:Light': '#fff'",
                                             "}",
                                             "=== Colours ===",
                                             "@var text font 'Font' \"Open Sans\"",
                                             "* * *",
                                             "@var color fg 'Text' #eee",
                                             "  (the text colour)",
                                             "@var range size 'Size'",
                                             "[12, 8, 32, 2, 'px']",
                                             "Sizes end here",
                                             "@var dropdown d 'D' {",
                                             "  a \"A\" <<<EOT",
                                             "  a { color: red }",
                                             "  EOT;",
                                             "}",
                                             "end"},
                                            kBlock));
    ASSERT_TRUE(style && style->userVariables);
    const std::vector<userVariable>& vars = *style->userVariables;
    ASSERT_EQ(vars.size(), 6u);
    EXPECT_EQ(vars[0].defaultValue, "0");
    EXPECT_EQ(vars[1].selectOptions->size(), 2u);
    EXPECT_EQ(vars[1].defaultValue, "1");
    EXPECT_EQ(vars[2].defaultValue, "Open Sans");
    EXPECT_EQ(vars[3].defaultValue, "#eee");
    EXPECT_EQ(vars[4].defaultValue, "12");
    EXPECT_EQ(vars[4].rangeOptions->units, "px");
    EXPECT_EQ(vars[5].selectOptions->size(), 1u);
    EXPECT_EQ(vars[5].selectOptions->at(0).value, "a { color: red }");
}

TEST(Metadata, OnlyAnIncompleteDeclarationTakesTheNextLine) {
    EXPECT_FALSE(variableDeclarationContinues("checkbox a 'A' 0", "---"));
    EXPECT_FALSE(variableDeclarationContinues("text a \"Don't\" It's", "x"));
    EXPECT_FALSE(variableDeclarationContinues("select a 'A' {'x': '1'}", "{"));
    EXPECT_TRUE(variableDeclarationContinues("select a 'A' {", "x"));
    EXPECT_TRUE(variableDeclarationContinues("select a 'A' {'x': `multi", "line`}"));
    EXPECT_TRUE(variableDeclarationContinues("range a 'A' [1,", "2]"));
    EXPECT_TRUE(variableDeclarationContinues("text a 'A", "B'"));
    EXPECT_TRUE(variableDeclarationContinues("dropdown a 'A' { x \"X\" <<<EOT a", "b"));
    EXPECT_FALSE(variableDeclarationContinues("dropdown a 'A' { x \"X\" <<<EOT a EOT; }", "b"));
    EXPECT_TRUE(variableDeclarationContinues("select a 'A'", "  {"));
    EXPECT_FALSE(variableDeclarationContinues("select a 'A'", "  text"));
}

TEST(Metadata, TheEndMarkerMustBeExact) {
    // Without the space the comment never ends: every line is metadata and none
    // of the first chunk becomes code, but later blocks are still read.
    const auto style = readUserCSS(
        "/* ==UserStyle==\n@name Open\n==/UserStyle==*/\nbody { "
        "margin: 0 }\n@version 9\n" +
        kBlock);
    ASSERT_TRUE(style);
    EXPECT_EQ(style->version, "9");
    EXPECT_EQ(style->styleData.sections, std::vector<styleSection>{kBlockSection});

    // CSS between the metadata and the first block applies everywhere and comes
    // first.
    EXPECT_EQ(
        readUserCSS(document({"@name N"}, "\n:root { --x: 1 }\n\n" + kBlock))->styleData.sections,
        (std::vector<styleSection>{bare(":root { --x: 1 }"), kBlockSection}));
}

TEST(Metadata, DocumentsWithoutCodeGiveNothing) {
    EXPECT_FALSE(readUserCSS(" \n\t\r\n\u00a0"));
    EXPECT_FALSE(readUserCSS(document({"@name Only metadata", "@var color a 'A' red"}, "\n")));
}

TEST(Metadata, StylesWithVariablesOrLessOrStylusNeedCompiling) {
    const auto needs = [](const std::vector<std::string>& metadata) {
        const auto style = readUserCSS(document(metadata, kBlock));
        EXPECT_TRUE(style);
        return style && needsCompiling(*style);
    };
    EXPECT_TRUE(needs({"@preprocessor less"}));
    EXPECT_TRUE(needs({"@preprocessor stylus"}));
    EXPECT_TRUE(needs({"@var text t 'T' x"}));
    EXPECT_FALSE(needs({"@preprocessor Less"}));  // the test is exact
    EXPECT_FALSE(needs({"@preprocessor default"}));
    EXPECT_FALSE(needs({}));
}

TEST(Metadata, KeyLinesAreRecognisedInAnyLetterCase) {
    for (const char* line : {"@name x", "  @NAME", "\t@HomepageURL http://a/", "@var", "@Advanced",
                             "@preprocessor stylus", "@supportURL", "@UPDATEURL", "@license",
                             "@version1", "@namespace", "@description", "@author"}) {
        EXPECT_TRUE(isMetadataKeyLine(line)) << line;
    }
    for (const char* line :
         {"", "name", "x @name", "@nam", "@homepage", "==/UserStyle== */", "\u00a0@ name"}) {
        EXPECT_FALSE(isMetadataKeyLine(line)) << line;
    }
}

}  // namespace
}  // namespace orlavine
