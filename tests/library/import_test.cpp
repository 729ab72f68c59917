// Importing pasted CSS and style files.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "library/style_import.h"
#include "library_fixture.h"

namespace orlavine {
namespace {

using Alert = std::pair<std::string, std::string>;
using testing::LibraryFixture;
using testing::writeText;

const std::string kBlock = "@-moz-document domain('a.example') {\n\tp { color: red }\n}\n";

std::string userCSS(const std::vector<std::string>& metadata) {
    std::string text = "/* ==UserStyle==\n";
    for (const std::string& line : metadata) {
        text += line + "\n";
    }
    return text + "==/UserStyle== */\n" + kBlock;
}

TEST(ImportPasted, PlainCssBecomesAStyleForEverySite) {
    LibraryFixture f;
    const std::string css = "  body { color: red }\n";
    const ImportOutcome outcome = importPastedText(css, f.services());
    EXPECT_EQ(outcome.result, ImportResult::addedWithoutRules);
    EXPECT_EQ(
        f.reporter.alerts,
        (std::vector<Alert>{{"CSS Imported With No Rules",
                             "The style you have imported does not have any defined rules for "
                             "where it should be applied. If you do not define these rules, "
                             "the style will be applied to all sites."}}));
    const styleDatabase db = f.saved();
    ASSERT_EQ(db.styles.size(), 1u);
    EXPECT_EQ(db.styles[0].uniqueID, outcome.uniqueID);
    EXPECT_EQ(db.styles[0].styleData.name, "New Style from CSS");
    EXPECT_EQ(db.styles[0].source, "custom");
    EXPECT_EQ(db.styles[0].userstyleID, -1);
    ASSERT_EQ(db.styles[0].styleData.sections.size(), 1u);
    EXPECT_EQ(db.styles[0].styleData.sections[0].code, css);
    EXPECT_TRUE(db.styles[0].styleData.sections[0].domains.empty());
    EXPECT_EQ(f.postedNames(), std::vector<std::string>{"addLatestStyle"});
}

TEST(ImportPasted, DocumentsAreReadAndNamedWhenTheyHaveNoName) {
    LibraryFixture f;
    const ImportOutcome unnamed = importPastedText(kBlock, f.services());
    EXPECT_EQ(unnamed.result, ImportResult::added);
    EXPECT_EQ(unnamed.name, "Style from @-moz-document Format");
    const ImportOutcome named = importPastedText(
        userCSS({"@name Named", "@updateURL https://u.example/x.user.css"}), f.services());
    EXPECT_EQ(named.name, "Named");
    EXPECT_TRUE(f.reporter.alerts.empty());

    const styleDatabase db = f.saved();
    ASSERT_EQ(db.styles.size(), 2u);
    EXPECT_EQ(db.styles[0].source, "custom");
    EXPECT_EQ(db.styles[0].styleData.sections[0].domains, std::vector<std::string>{"a.example"});
    EXPECT_EQ(db.styles[1].source, "usercss");  // it can be updated from its address

    // Text with blocks that hold nothing is refused and nothing is added.
    const ImportOutcome invalid = importPastedText("@-moz-document domain(x) {}", f.services());
    EXPECT_EQ(invalid.result, ImportResult::invalid);
    EXPECT_EQ(
        f.reporter.alerts,
        (std::vector<Alert>{{"Invalid Style",
                             "There was an error importing this style. Please make sure there "
                             "were no formatting or syntax errors in this style."}}));
    EXPECT_EQ(f.saved().styles.size(), 2u);
}

TEST(ImportFile, NamesComeFromTheFileWhenTheDocumentHasNone) {
    EXPECT_EQ(styleNameForFile("/x/dark.user.css"), "dark");
    EXPECT_EQ(styleNameForFile("site.css"), "site");
    EXPECT_EQ(styleNameForFile("a.user.b.user.less"), "a");
    EXPECT_EQ(styleNameForFile("notes.user.user.css"), "notes");
    EXPECT_EQ(styleNameForFile("README"), "README");

    LibraryFixture f;
    writeText(f.home / "site.user.css", userCSS({"@version 1"}));
    writeText(f.home / "named.user.css", userCSS({"@name Proper Name"}));
    EXPECT_EQ(importStyleFile(f.home / "site.user.css", f.services()).name, "site");
    EXPECT_EQ(importStyleFile(f.home / "named.user.css", f.services()).name, "Proper Name");
    EXPECT_TRUE(f.reporter.alerts.empty());
}

TEST(ImportFile, SourceFollowsTheUpdateAddressAndTwiceMeansTwoStyles) {
    LibraryFixture f;
    writeText(f.home / "updatable.user.css", userCSS({"@updateURL https://u.example/x.user.css"}));
    writeText(f.home / "blank-update.user.css", userCSS({"@updateURL   "}));
    const ImportOutcome a = importStyleFile(f.home / "updatable.user.css", f.services());
    const ImportOutcome b = importStyleFile(f.home / "updatable.user.css", f.services());
    importStyleFile(f.home / "blank-update.user.css", f.services());
    EXPECT_NE(a.uniqueID, b.uniqueID);
    const styleDatabase db = f.saved();
    ASSERT_EQ(db.styles.size(), 3u);
    EXPECT_EQ(db.styles[0].source, "usercss");
    EXPECT_EQ(db.styles[1].source, "usercss");
    EXPECT_EQ(db.styles[2].source, "custom");
    EXPECT_EQ(db.styles[0].downloadedFrom, "");
    EXPECT_EQ(f.postedNames(),
              (std::vector<std::string>{"addLatestStyle", "addLatestStyle", "addLatestStyle"}));
}

TEST(ImportFile, PlainFilesInvalidFilesAndFilesThatCannotBeRead) {
    LibraryFixture f;
    writeText(f.home / "plain.css", "\xEF\xBB\xBFhtml { background: #111 }\n");
    const ImportOutcome plain = importStyleFile(f.home / "plain.css", f.services());
    EXPECT_EQ(plain.result, ImportResult::addedWithoutRules);
    EXPECT_EQ(plain.name, "plain");
    EXPECT_EQ(f.store->styleByID(plain.uniqueID)->styleData.sections[0].code,
              "html { background: #111 }\n");

    writeText(f.home / "broken.user.css", "@-moz-document domain(x) { a {");
    EXPECT_EQ(importStyleFile(f.home / "broken.user.css", f.services()).result,
              ImportResult::invalid);
    EXPECT_EQ(f.reporter.alerts,
              (std::vector<Alert>{
                  {"CSS File Imported With No Rules",
                   "The style \"plain\" does not have any defined rules for where it should be "
                   "applied. If you do not define these rules, the style will be applied to all "
                   "sites."},
                  {"Invalid Style",
                   "There was an error importing the file \"broken.user.css.\" Please make sure "
                   "there are no formatting or syntax errors in the file."}}));

    // Missing files, folders and text that is not UTF-8 are passed over without a word.
    writeText(f.home / "latin1.css", "p { content: \"caf\xe9\" }");
    std::filesystem::create_directory(f.home / "folder.css");
    for (const char* name : {"missing.css", "latin1.css", "folder.css"}) {
        EXPECT_EQ(importStyleFile(f.home / name, f.services()).result, ImportResult::unreadable);
    }
    EXPECT_EQ(f.reporter.alerts.size(), 2u);
    EXPECT_EQ(f.saved().styles.size(), 1u);
}

TEST(ImportFile, RealDocumentsFromTheTestData) {
    LibraryFixture f;
    const std::filesystem::path data = std::filesystem::path(ORLAVINE_TEST_DATA) / "usercss";
    const ImportOutcome dark = importStyleFile(data / "dark-theme.user.css", f.services());
    EXPECT_EQ(dark.result, ImportResult::added);
    EXPECT_EQ(dark.name, "Midnight Reader");
    const ImportOutcome comments =
        importStyleFile(data / "comments-between-blocks.css", f.services());
    EXPECT_EQ(comments.name, "comments-between-blocks");
    const styleDatabase db = f.saved();
    ASSERT_EQ(db.styles.size(), 2u);
    EXPECT_EQ(db.styles[0].source, "usercss");
    EXPECT_EQ(db.styles[0].styleData.sections.size(), 10u);
    EXPECT_EQ(db.styles[1].source, "custom");
}

}  // namespace
}  // namespace orlavine
