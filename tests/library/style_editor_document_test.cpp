// The style editor's document logic as the window shows it: picker titles, the section
// commands, the sheets, read-only styles, the export name and the questions it asks.

#include <gtest/gtest.h>

#include "library/site_icon_addresses.h"
#include "library/style_editor_document.h"

namespace orlavine {
namespace {

styleContainer twoSections() {
    styleContainer s;
    s.styleData.name = "My Style";
    s.source = "custom";
    s.preprocessor = "sass";
    styleSection first;
    first.domains = {"a.org"};
    first.code = "body { color: red }";
    first.sectionName = "";
    styleSection second;
    second.urls = {"https://b.org/"};
    second.code = "  \n\t";
    second.sectionName = "Dark";
    s.styleData.sections = {first, second};
    return s;
}

TEST(StyleEditorDocument, SectionsAreListedAddedDuplicatedAndDeletedAsTheWindowShowsThem) {
    StyleEditorDocument doc(twoSections(), false);
    EXPECT_EQ(doc.pickerTitles(), (std::vector<std::string>{"Section 1", "Dark"}));
    EXPECT_FALSE(doc.isDirty());

    doc.nextSection();
    EXPECT_EQ(doc.exportFileName(), "My Style - Dark.css");
    // Blank code goes at once and the section before is shown.
    EXPECT_EQ(doc.deleteStep(), StyleEditorDocument::DeleteStep::deleteAtOnce);
    doc.deleteCurrentSection();
    EXPECT_EQ(doc.currentSection(), 0u);
    EXPECT_TRUE(doc.isDirty());
    EXPECT_EQ(doc.exportFileName(), "My Style.css");

    // The last section cannot go.
    EXPECT_EQ(doc.deleteStep(), StyleEditorDocument::DeleteStep::onlySection);
    doc.deleteCurrentSection();
    EXPECT_EQ(doc.style().styleData.sections.size(), 1u);

    // A new section with the current one's rules, and one with a rule of its own.
    ASSERT_TRUE(doc.addSection({"Copy", kRowDomain, "ignored", true}));
    EXPECT_EQ(doc.section().domains, (std::vector<std::string>{"a.org"}));
    EXPECT_EQ(doc.section().code, "");
    ASSERT_TRUE(doc.addSection({"Own", kRowRegExp, "https://c\\.org/.*", false}));
    EXPECT_EQ(doc.section().regexps, (std::vector<std::string>{"https://c\\.org/.*"}));
    EXPECT_EQ(doc.currentSection(), 2u);

    doc.selectSection(0);
    ASSERT_TRUE(doc.duplicateSection());
    EXPECT_EQ(doc.section(), doc.style().styleData.sections[0]);
    // Code is asked about before it goes.
    EXPECT_EQ(doc.deleteStep(), StyleEditorDocument::DeleteStep::askFirst);
    EXPECT_EQ(doc.deleteQuestion(), "Are you sure you want to delete Section 4?");
    doc.selectSection(99);
    EXPECT_EQ(doc.currentSection(), 3u);
}

TEST(StyleEditorDocument, SheetsChangeTheWorkingCopyAndMarkItEdited) {
    StyleEditorDocument doc(twoSections(), false);
    StyleEditorDocument::Metadata m = doc.metadata();
    EXPECT_EQ(m.preprocessor, 0u);  // "sass" is not in the menu: "default" is shown
    m.author = "Ana";
    m.preprocessor = 3;
    ASSERT_TRUE(doc.setMetadata(m));
    EXPECT_EQ(doc.style().preprocessor, "less");
    EXPECT_EQ(doc.style().author, "Ana");
    EXPECT_EQ(doc.closeQuestion(), "Would you like to save changes to My Style?");
    doc.markSaved();
    EXPECT_FALSE(doc.isDirty());

    ruleDictionary rows = doc.rules();
    rows.dictionary.push_back({{"type", kRowPrefix}, {"rule", "https://d.org/"}});
    rows.sectionName = "Header";
    ASSERT_TRUE(doc.setRules(rows));
    EXPECT_EQ(doc.section().urlPrefixes, (std::vector<std::string>{"https://d.org/"}));
    EXPECT_EQ(doc.pickerTitles()[0], "Header");
    EXPECT_TRUE(doc.isDirty());

    doc.markSaved();
    doc.setCode(doc.section().code);  // the same text is no edit
    EXPECT_FALSE(doc.isDirty());
    doc.setCode("a {}");
    EXPECT_TRUE(doc.isDirty());
}

TEST(StyleEditorDocument, AReadOnlyStyleIsNeverChanged) {
    styleContainer installed = twoSections();
    installed.source = "usercss";
    ASSERT_TRUE(opensReadOnly(installed));
    StyleEditorDocument doc(installed, opensReadOnly(installed));
    EXPECT_FALSE(doc.addSection({"x", kRowDomain, "x.org", false}));
    EXPECT_FALSE(doc.duplicateSection());
    EXPECT_EQ(doc.deleteStep(), StyleEditorDocument::DeleteStep::refused);
    doc.deleteCurrentSection();
    EXPECT_FALSE(doc.setMetadata({}));
    EXPECT_FALSE(doc.setRules({}));
    doc.setCode("changed");
    EXPECT_EQ(doc.style(), installed);
    EXPECT_FALSE(doc.isDirty());

    // A name that holds a folder separator still gives one file name.
    styleContainer slashed = twoSections();
    slashed.styleData.name = "a/b";
    EXPECT_EQ(StyleEditorDocument(slashed, false).exportFileName(), "a-b.css");
}

}  // namespace
}  // namespace orlavine

namespace orlavine {
namespace {

TEST(SiteIconAddresses, DomainsThenSitesOfPrefixesEachOnceAndBounded) {
    styleContainer s;
    styleSection a;
    a.domains = {"Example.com", "www.b.org", "bad/domain"};
    a.urlPrefixes = {"https://docs.c.net/guide/", "https://d.org", "https://e.org/page",
                     "ftp://f.org/"};
    styleSection b;
    b.domains = {"example.com"};
    s.styleData.sections = {a, b};
    EXPECT_EQ(siteIconAddresses(s, 10),
              (std::vector<std::string>{
                  "https://example.com/favicon.ico", "https://www.example.com/favicon.ico",
                  "https://www.b.org/favicon.ico", "https://docs.c.net/favicon.ico",
                  "https://d.org/favicon.ico"}));
    EXPECT_EQ(siteIconAddresses(s, 2).size(), 2u);
}

}  // namespace
}  // namespace orlavine
