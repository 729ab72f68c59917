// The host's library keeps the styles' code in the file it read and decodes a text when a page
// first needs it.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <random>
#include <string>

#include "extension/cached_library.h"
#include "extension/section_emptiness.h"
#include "model/atomic_file.h"
#include "model/library_index.h"
#include "model/paths.h"
#include "model/record_json.h"
#include "support/test_support.h"

namespace orlavine {
namespace {

styleContainer styleFor(std::int64_t id, const std::string& domain, const std::string& css) {
    styleContainer s = testing::sampleStyle(id, "Style " + std::to_string(id));
    s.styleData.sections[0].domains = {domain};
    s.styleData.sections[0].code = css;
    return s;
}

TEST(LibraryCode, PagesGetCodeFromTheFileAndNothingWhenItCannotBeRead) {
    testing::TempDir dir;
    testing::QuietReporter reporter;
    styleDatabase db;
    db.styles = {styleFor(1, "a.com", "a { color: red }"),
                 styleFor(2, "b.com", "b { color: blue }"),
                 styleFor(3, "c.com", "c { color: green }")};
    std::string text = encodeDatabase(db);
    // One code text the decoder would refuse: that style gets nothing, the others stay.
    const std::string broken = R"("code":"c { color: green }")";
    text.replace(text.find(broken), broken.size(), R"("code":"c { \q }")");
    ASSERT_FALSE(decodeDatabase(text));
    const auto file = dir.path() / kDatabaseFileName;
    testing::writeText(file, text);

    CachedLibrary host(dir.path(), reporter);
    const auto library = host.current();
    EXPECT_EQ(library->pageCSS("https://a.com/", false), "a { color: red }\n");
    EXPECT_EQ(library->pageCSS("https://c.com/", false), "");
    // Other programs refuse this file, so no index may stand for it.
    host.waitForIndex();
    EXPECT_FALSE(std::filesystem::exists(libraryIndexFile(file)));

    // A program that writes the file in place, against the rules, must not make pages show
    // garbage or crash the host: the code read before stays, the rest reads as nothing.
    {
        std::fstream overwrite(file, std::ios::in | std::ios::out | std::ios::binary);
        overwrite << std::string(text.size() / 2, '\\');
    }
    EXPECT_EQ(library->pageCSS("https://a.com/", false), "a { color: red }\n");
    EXPECT_EQ(library->pageCSS("https://b.com/", false), "");
    std::filesystem::resize_file(file, 10);
    EXPECT_EQ(library->pageCSS("https://b.com/", false), "");
}

// A host writes the library's index; the next host starts from it, unless the library was
// replaced since or the index is damaged.
TEST(LibraryCode, HostsStartFromTheIndexOfTheLibraryFileOnly) {
    testing::TempDir dir;
    testing::QuietReporter reporter;
    const auto file = dir.path() / kDatabaseFileName;
    styleDatabase db;
    db.styles = {styleFor(1, "a.com", "a { color: red }"), styleFor(2, "b.com", "  ")};
    testing::writeText(file, encodeDatabase(db));
    {
        CachedLibrary first(dir.path(), reporter);
        ASSERT_EQ(first.current()->pageCSS("https://a.com/", false), "a { color: red }\n");
        first.waitForIndex();
    }
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    auto index = readLibraryIndex(file, LibraryFileIdentity::of(info));
    ASSERT_TRUE(index);
    EXPECT_EQ(index->spans.size(), 2U);
    EXPECT_TRUE(index->spans[1].injectsNothing);

    // Proof that the next host reads the index and not the file: an index saying otherwise.
    index->records.styles[0].styleData.sections[0].domains = {"z.com"};
    ASSERT_TRUE(writeLibraryIndex(file, index->records, index->spans, index->skeleton,
                                  LibraryFileIdentity::of(info)));
    const auto shown = [&](const std::string& page) {
        CachedLibrary host(dir.path(), reporter);
        const std::string css = host.current()->pageCSS(page, false);
        host.waitForIndex();
        return css;
    };
    EXPECT_EQ(shown("https://z.com/"), "a { color: red }\n");

    // A library written since (by any program) is read whole, and indexed again.
    db.styles[0].styleData.sections[0].code = "a { color: teal }";
    ASSERT_TRUE(writeFileAtomically(file, encodeDatabase(db)));
    EXPECT_EQ(shown("https://z.com/"), "");
    EXPECT_EQ(shown("https://a.com/"), "a { color: teal }\n");

    std::string damaged = testing::readText(libraryIndexFile(file));
    damaged[damaged.size() / 2] ^= 1;
    testing::writeText(libraryIndexFile(file), damaged);
    EXPECT_EQ(shown("https://a.com/"), "a { color: teal }\n");
}

// A style being edited shows over the library read from the file; the other styles' code still
// comes from the file.
TEST(LibraryCode, PreviewsShowOverCodeLeftInTheFile) {
    testing::TempDir dir;
    testing::QuietReporter reporter;
    styleDatabase db;
    db.styles = {styleFor(1, "a.com", "a { color: red }"),
                 styleFor(2, "a.com", "b { color: blue }")};
    testing::writeText(dir.path() / kDatabaseFileName, encodeDatabase(db));
    CachedLibrary host(dir.path(), reporter);
    ASSERT_EQ(host.current()->pageCSS("https://a.com/", false),
              "a { color: red }\nb { color: blue }\n");

    styleContainer edited = db.styles[1];
    edited.styleData.sections[0].code = "b { color: green }";
    host.setPreviews({edited});
    EXPECT_EQ(host.current()->pageCSS("https://a.com/", false),
              "a { color: red }\nb { color: green }\n");
    host.setPreviews({});
    EXPECT_EQ(host.current()->pageCSS("https://a.com/", false),
              "a { color: red }\nb { color: blue }\n");
}

// Which code texts inject nothing is decided from their stored (escaped) form where that is
// plain enough: it must always agree with the decoded text.
TEST(LibraryCode, EmptyCodeIsKnownWithoutChangingWhatPagesGet) {
    const std::vector<std::string> pieces = {
        "/*",  "*/", "@namespace", " x;", " ",  "\n",           "\t", "\r\n",  "\\/", "\xc2\xa0",
        "a{}", "@m", "/",          "@",   "\"", "\xe3\x80\x80", "\f", "@name", "/**/"};
    std::mt19937 random(7);
    testing::TempDir dir;
    testing::QuietReporter reporter;
    styleDatabase db;
    for (int i = 0; i < 400; ++i) {
        std::string code;
        for (int n = std::uniform_int_distribution<>(0, 6)(random); n > 0; --n) {
            code +=
                pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(random)];
        }
        db.styles.push_back(styleFor(i, "s" + std::to_string(i) + ".com", code));
    }
    testing::writeText(dir.path() / kDatabaseFileName, encodeDatabase(db));
    CachedLibrary host(dir.path(), reporter);
    const auto library = host.current();
    for (const styleContainer& style : db.styles) {
        const std::string& code = style.styleData.sections[0].code;
        const std::string page = "https://" + style.styleData.sections[0].domains[0] + "/";
        EXPECT_EQ(library->pageCSS(page, false).empty(), isEmptySectionText(code)) << code;
    }
}

}  // namespace
}  // namespace orlavine
