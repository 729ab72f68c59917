// Cutting documents into @-moz-document blocks and reading each block.

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

TEST(Blocks, DocumentsBecomeTheirSections) {
    const struct {
        std::string text;
        std::vector<styleSection> sections;
    } cases[] = {
        // The header ends at the first brace; the code loses one TAB level on
        // every line.
        {"@-moz-document url('http://a.example/'), "
         "url-prefix('http://b.example/x') {\n"
         "\tp { color: red; }\n}",
         {section({.urls = {"http://a.example/"}, .urlPrefixes = {"http://b.example/x"}},
                  "p { color: red; }")}},
        {"@-moz-document domain(a.example){b{c:d}}",
         {section({.domains = {"a.example"}}, "b{c:d}")}},
        {"@-moz-document domain(\"x\")\n{\n\ta {\n\t\tb: c;\n\t}\n}",
         {section({.domains = {"x"}}, "a {\n\tb: c;\n}")}},
        // No cut inside a comment or at a header in another letter case.
        {"@-moz-document domain(a) {/* @-moz-document domain(b) */}",
         {section({.domains = {"a"}}, "/* @-moz-document domain(b) */")}},
        {"p{}\u3000@-MOZ-DOCUMENT x {}", {bare("p{}\u3000@-MOZ-DOCUMENT x {}")}},
        // Braces after "//" on a line or inside a block comment are not counted.
        {"@-moz-document domain(x) {\n\ta { b: c; // }\n}\n}",
         {section({.domains = {"x"}}, "a { b: c; // }\n}")}},
        {"@-moz-document domain(x) { /* { */ a: b }",
         {section({.domains = {"x"}}, "/* { */ a: b")}},
        // A single comment after a block goes before the next block's code, or is
        // lost.
        {"@-moz-document domain(a) { x }\n/* footer */\n@-moz-document domain(b) "
         "{ y }",
         {section({.domains = {"a"}}, "x"), section({.domains = {"b"}}, "/* footer */\n\ny")}},
        {"@-moz-document domain(a) { x } /* footer */", {section({.domains = {"a"}}, "x")}},
        {"@-moz-document domain(a) { x } // one\n@-moz-document domain(b) { y }",
         {section({.domains = {"a"}}, "x"), section({.domains = {"b"}}, "// one\n\ny")}},
        // Several comments, a "//" comment over several lines, and CSS apply to
        // every page.
        {"@-moz-document domain(a) { x } /* 1 */ /* 2 */",
         {section({.domains = {"a"}}, "x"), bare("/* 1 */ /* 2 */")}},
        {"@-moz-document domain(a) { x }\n// 1\n// 2\n",
         {section({.domains = {"a"}}, "x"), bare("// 1\n// 2")}},
        {"@-moz-document domain(a) { x }\r\nbody { margin: 0 }\r\n",
         {section({.domains = {"a"}}, "x"), bare("body { margin: 0 }")}},
        // CSS before the first block comes first; a leading comment without the
        // metadata
        // marker is read as a header without rules.
        {"body { margin: 0 }\n@-moz-document domain('x') { p { } }",
         {bare("body { margin: 0 }"), section({.domains = {"x"}}, "p { }")}},
        {"/* my style */\nbody { color: red }", {bare("color: red")}},
        {"body { color: red }", {bare("body { color: red }")}},
        // Headers spread over lines, with comments between the parts of a rule.
        {"@-moz-document regexp(\n  \"https://a\\\\.example/.*\"\n) {\n\tp { }\n}",
         {section({.regexps = {"https://a\\.example/.*"}}, "p { }")}},
        {"@-moz-document /* Old Reddit */ regexp(\"https://old\\\\.reddit\\\\.com/.*\")\n{\n\tp { "
         "}\n}",
         {section({.regexps = {"https://old\\.reddit\\.com/.*"}}, "p { }")}},
        {"@-moz-document url-prefix(\n  \"https://a.example/\"\n), url-prefix(\n  "
         "\"https://b.example/\"\n)\n{\n\tp { }\n}",
         {section({.urlPrefixes = {"https://a.example/", "https://b.example/"}}, "p { }")}},
        // An empty block drops its trailing text too.
        {"@-moz-document domain('x') {} body { margin: 0 }", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(readSections(c.text), c.sections) << c.text;
    }
}

TEST(Blocks, UnreadableBlocksYieldNothingAndKeepThePendingComment) {
    const std::optional<std::string> pending = "/* keep me */";
    for (const char* chunk : {
             "@-moz-document domain('x') {}",             // empty block
             "@-moz-document domain('x') { a { b: c }",   // never closed
             "@-moz-document domain('x')",                // no header end
             "@-moz-document domain('x')\n\tp",           // line break but not Stylus
             "@-moz-document domain('x') { a: b // }\n",  // the only "}" is
                                                          // commented out
         }) {
        const MozDocumentBlock block = readMozDocumentBlock(chunk, "default", pending);
        EXPECT_TRUE(block.sections.empty()) << chunk;
        EXPECT_EQ(block.pendingComment, pending) << chunk;
    }
}

TEST(Blocks, StylusIndentationAndBlocksWithoutBraces) {
    const auto code = [](const char* chunk, const char* preprocessor) {
        const MozDocumentBlock block = readMozDocumentBlock(chunk, preprocessor, std::nullopt);
        return block.sections.empty() ? std::string("<none>") : block.sections[0].code;
    };
    // Without braces the code starts one character into the line after the
    // header.
    const MozDocumentBlock block = readMozDocumentBlock(
        "@-moz-document domain('x')\n  body\n    color red", "Stylus", std::nullopt);
    EXPECT_EQ(block.sections,
              std::vector<styleSection>{section({.domains = {"x"}}, "body\n    color red")});
    EXPECT_EQ(code("@-moz-document domain('x')\r\n\tnav\r\n\t\tcolor red", "stylus"),
              "nav\n\tcolor red");
    EXPECT_EQ(code("@-moz-document domain('x')\n\tbody", "less"), "<none>");
    // In braced Stylus code four spaces make one level of indentation.
    EXPECT_EQ(code("@-moz-document domain(x) {\n    a\n        b c\n}", "stylus"), "a\n\tb c");
    EXPECT_EQ(code("@-moz-document domain(x) {\n    a\n        b c\n}", "default"),
              "a\n        b c");
}

TEST(Blocks, LineEndsOfLibraryDocumentsAndOfCompilerOutput) {
    const std::string css = "@-moz-document domain(x) {\r\n\ta {\r\n\t\tb: c;\r\n\t}\r\n}";
    EXPECT_EQ(readUserCSS(css)->styleData.sections[0].code, "a {\n\tb: c;\n}");
    // Compiler output cut back into sections turns each CR into a line end of its
    // own.
    const auto reread = rereadUserCSS(css);
    ASSERT_TRUE(reread);
    EXPECT_EQ(reread->styleData.sections[0].code, "a {\n\n\tb: c;\n\n}");
    EXPECT_EQ(reread->uniqueID, 0);
}

}  // namespace
}  // namespace orlavine
