// Cutting documents into chunks and reading each @-moz-document block.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document_fixtures.h"
#include "formats/moz_document_reader.h"
#include "formats/usercss_reader.h"

namespace orlavine {
namespace {

using testing::bare;
using testing::section;

std::vector<styleSection> readSections(const std::string& text) {
    auto style = readUserCSS(text);
    return style ? style->styleData.sections : std::vector<styleSection>{};
}

TEST(Blocks, SplittingCutsBeforeEveryBlockOutsideComments) {
    EXPECT_EQ(splitMozDocumentChunks(""), std::vector<std::string>{""});
    EXPECT_EQ(splitMozDocumentChunks(" \n\t\r\n"), std::vector<std::string>{""});

    // Leading blank space gives an empty first chunk; chunks are trimmed.
    EXPECT_EQ(splitMozDocumentChunks("\n  @-moz-document a {x}\n\n@-moz-document b {y}  \n"),
              (std::vector<std::string>{"", "@-moz-document a {x}", "@-moz-document b {y}"}));

    // Inside a comment, or at the very start, nothing is cut.
    EXPECT_EQ(splitMozDocumentChunks("@-moz-document a {/* @-moz-document b */}"),
              std::vector<std::string>{"@-moz-document a {/* @-moz-document b */}"});
    EXPECT_EQ(splitMozDocumentChunks("p{} /* x */ @-moz-document c {z}"),
              (std::vector<std::string>{"p{} /* x */", "@-moz-document c {z}"}));

    // The letter case must match; Unicode spaces are trimmed, other characters stay whole.
    EXPECT_EQ(splitMozDocumentChunks("\u00a0p{}\u3000@-MOZ-DOCUMENT x {}"),
              std::vector<std::string>{"p{}\u3000@-MOZ-DOCUMENT x {}"});
    EXPECT_EQ(splitMozDocumentChunks("\u3000é\u2003\u00a0"), std::vector<std::string>{"é"});
}

TEST(Blocks, HeaderEndsAtTheFirstBraceAndCodeLosesOneTabLevel) {
    const MozDocumentBlock block = readMozDocumentBlock(
        "@-moz-document url('http://a.example/'), url-prefix('http://b.example/x') {\n"
        "\tp { color: red; }\n}",
        "", std::nullopt);
    ASSERT_EQ(block.sections.size(), 1u);
    EXPECT_EQ(block.sections[0],
              section({.urls = {"http://a.example/"}, .urlPrefixes = {"http://b.example/x"}},
                      "p { color: red; }"));
    EXPECT_FALSE(block.pendingComment);

    // No space before the brace: the ")" goes back onto the header.
    EXPECT_EQ(
        readMozDocumentBlock("@-moz-document domain(a.example){b{c:d}}", "", std::nullopt).sections,
        std::vector<styleSection>{section({.domains = {"a.example"}}, "b{c:d}")});

    // The brace on its own line; every line but the first loses one TAB.
    EXPECT_EQ(readMozDocumentBlock("@-moz-document domain(\"x\")\n{\n\ta {\n\t\tb: c;\n\t}\n}", "",
                                   std::nullopt)
                  .sections[0]
                  .code,
              "a {\n\tb: c;\n}");
}

TEST(Blocks, UnreadableBlocksYieldNothingAndKeepThePendingComment) {
    const std::optional<std::string> pending = "/* keep me */";
    for (const char* chunk : {
             "@-moz-document domain('x') {}",             // empty block
             "@-moz-document domain('x') { a { b: c }",   // never closed
             "@-moz-document domain('x')",                // no header end
             "@-moz-document domain('x')\n\tp",           // line break but not Stylus
             "@-moz-document domain('x') { a: b // }\n",  // the only "}" is commented out
         }) {
        const MozDocumentBlock block = readMozDocumentBlock(chunk, "default", pending);
        EXPECT_TRUE(block.sections.empty()) << chunk;
        EXPECT_EQ(block.pendingComment, pending) << chunk;
    }
    // An empty block drops its trailing text too.
    EXPECT_TRUE(readSections("@-moz-document domain('x') {} body { margin: 0 }").empty());
}

TEST(Blocks, CommentsAndLineCommentsInsideTheBlock) {
    // A "}" after "//" on a line is not counted; the next line's "}" closes the block.
    EXPECT_EQ(
        readMozDocumentBlock("@-moz-document domain(x) {\n\ta { b: c; // }\n}\n}", "", std::nullopt)
            .sections[0]
            .code,
        "a { b: c; // }\n}");
    // Braces inside a block comment are not counted.
    EXPECT_EQ(readMozDocumentBlock("@-moz-document domain(x) { /* { */ a: b }", "", std::nullopt)
                  .sections[0]
                  .code,
              "/* { */ a: b");
}

TEST(Blocks, TrailingTextBecomesAPendingCommentOrABareSection) {
    // A single comment after a block goes before the next block's code.
    EXPECT_EQ(readSections("@-moz-document domain(a) { x }\n/* footer */\n"
                           "@-moz-document domain(b) { y }"),
              (std::vector<styleSection>{section({.domains = {"a"}}, "x"),
                                         section({.domains = {"b"}}, "/* footer */\n\ny")}));
    // With no block after it, it is lost.
    EXPECT_EQ(readSections("@-moz-document domain(a) { x } /* footer */"),
              std::vector<styleSection>{section({.domains = {"a"}}, "x")});
    // A one-line "//" comment is carried too; a newer comment replaces an older one.
    EXPECT_EQ(readSections("@-moz-document domain(a) { x } // one\n"
                           "@-moz-document domain(b) { y } /* two */\n"
                           "@-moz-document domain(c) { z }")
                  .back()
                  .code,
              "/* two */\n\nz");

    // Several comments, a "//" comment over several lines, and CSS are code for every page.
    EXPECT_EQ(
        readSections("@-moz-document domain(a) { x } /* 1 */ /* 2 */"),
        (std::vector<styleSection>{section({.domains = {"a"}}, "x"), bare("/* 1 */ /* 2 */")}));
    EXPECT_EQ(readSections("@-moz-document domain(a) { x }\n// 1\n// 2\n").back(),
              bare("// 1\n// 2"));
    EXPECT_EQ(readSections("@-moz-document domain(a) { x }\r\nbody { margin: 0 }\r\n").back(),
              bare("body { margin: 0 }"));
}

TEST(Blocks, TextOutsideBlocksAtTheStart) {
    // CSS before the first block applies everywhere and comes first.
    EXPECT_EQ(readSections("body { margin: 0 }\n@-moz-document domain('x') { p { } }"),
              (std::vector<styleSection>{bare("body { margin: 0 }"),
                                         section({.domains = {"x"}}, "p { }")}));
    // A comment first, without the metadata marker: read as a block whose header (the text
    // before " {") has no rules.
    EXPECT_EQ(readSections("/* my style */\nbody { color: red }"),
              std::vector<styleSection>{bare("color: red")});
    // Plain CSS alone.
    const auto plain = readUserCSS("body { color: red }");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->styleData.name, "Style From User CSS");
    EXPECT_EQ(plain->styleData.sections, std::vector<styleSection>{bare("body { color: red }")});
}

TEST(Blocks, StylusBlocksWithoutBraces) {
    // The header ends at the line end; the code starts one character into the next line.
    const MozDocumentBlock block = readMozDocumentBlock(
        "@-moz-document domain('x')\n  body\n    color red", "Stylus", std::nullopt);
    ASSERT_EQ(block.sections.size(), 1u);
    EXPECT_EQ(block.sections[0], section({.domains = {"x"}}, "body\n    color red"));
    // Tab-indented bodies lose their one level of indentation on every line.
    EXPECT_EQ(readMozDocumentBlock("@-moz-document domain('x')\r\n\tnav\r\n\t\tcolor red", "stylus",
                                   std::nullopt)
                  .sections[0]
                  .code,
              "nav\n\tcolor red");
    // Only Stylus may leave the braces out.
    EXPECT_TRUE(readMozDocumentBlock("@-moz-document domain('x')\n\tbody", "less", std::nullopt)
                    .sections.empty());

    // In braced Stylus code four spaces make one level of indentation.
    EXPECT_EQ(readMozDocumentBlock("@-moz-document domain(x) {\n    a\n        b c\n}", "stylus",
                                   std::nullopt)
                  .sections[0]
                  .code,
              "a\n\tb c");
    EXPECT_EQ(readMozDocumentBlock("@-moz-document domain(x) {\n    a\n        b c\n}", "default",
                                   std::nullopt)
                  .sections[0]
                  .code,
              "a\n        b c");
}

TEST(Blocks, LineEndsOfLibraryDocumentsAndOfCompilerOutput) {
    const std::string css = "@-moz-document domain(x) {\r\n\ta {\r\n\t\tb: c;\r\n\t}\r\n}";
    EXPECT_EQ(readUserCSS(css)->styleData.sections[0].code, "a {\n\tb: c;\n}");
    // Compiler output cut back into sections turns each CR into a line end of its own.
    const auto reread = rereadUserCSS(css);
    ASSERT_TRUE(reread);
    EXPECT_EQ(reread->styleData.sections[0].code, "a {\n\n\tb: c;\n\n}");
    EXPECT_EQ(reread->uniqueID, 0);
}

}  // namespace
}  // namespace orlavine
