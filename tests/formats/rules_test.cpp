// Parsing a block header into the four rule lists.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document_fixtures.h"
#include "formats/moz_document_reader.h"

namespace orlavine {
namespace {

using testing::Rules;
using testing::section;

TEST(Rules, HeadersGiveTheirRuleListsInOrder) {
    const struct {
        const char* header;
        Rules rules;
    } cases[] = {
        {"@-moz-document domain(\"a.example\"), url(\"https://b.example/\"), "
         "url-prefix('https://c.example/x'), "
         "regexp(\"https://d\\\\.example/.*\"), "
         "domain(e.example), domain(\"a.example\")",
         {.domains = {"a.example", "e.example", "a.example"},
          .urls = {"https://b.example/"},
          .urlPrefixes = {"https://c.example/x"},
          .regexps = {"https://d\\.example/.*"}}},
        {"", {}},
        // Unknown functions and wrong letter case are skipped.
        {"@-moz-document media(print), Domain(x), domain(y)", {.domains = {"y"}}},
        // White space around a value counts for nothing, as in CSS; unquoted values
        // keep everything else between the parentheses.
        {"@-moz-document url(  'x' )", {.urls = {"x"}}},
        {"@-moz-document url( x )", {.urls = {"x"}}},
        {"@-moz-document url( a b )", {.urls = {"a b"}}},
        // The separator is ")" and "," with any white space between.
        {"@-moz-document url('a') , url('b')", {.urls = {"a", "b"}}},
        {"@-moz-document url('a')\n\t,\n\turl('b')", {.urls = {"a", "b"}}},
        // Values are not unescaped.
        {"@-moz-document url(\"a\\\\b\")", {.urls = {"a\\\\b"}}},
        // A quoted value that is never closed adds nothing, also when the quote
        // pairs overlap.
        {"@-moz-document domain(\"open), url(\"x\")", {.urls = {"x"}}},
        {"@-moz-document url(\")", {}},
        {"@-moz-document url('), domain(\"), url-prefix(\"\")", {.urlPrefixes = {""}}},
        {"@-moz-document domain('bücher.example'), "
         "url-prefix('https://例え.jp/')",
         {.domains = {"bücher.example"}, .urlPrefixes = {"https://例え.jp/"}}},
        // Regexps must be quoted; doubled backslashes become single, then "\/"
        // becomes "/".
        {"@-moz-document regexp(.*)", {}},
        {"@-moz-document regexp('^https:\\\\/\\\\/a\\\\.example\\\\/\\\\d+$')",
         {.regexps = {"^https://a\\.example/\\d+$"}}},
        {"@-moz-document regexp(\"a\\/b\\\\\\\\c\")", {.regexps = {"a/b\\\\c"}}},
        // "@-moz-document domain(a.example){" leaves the header without its ")".
        {"@-moz-document domain(a.example", {.domains = {"a.example"}}},
        {"@-moz-document url-prefix(\"https://x/\"", {.urlPrefixes = {"https://x/"}}},
        // Real-world headers: the argument on its own line, comments anywhere
        // between the parts, multi-line lists.
        {"@-moz-document regexp(\n    \"https?://(www\\\\.)?example\\\\.com/.*\"\n)",
         {.regexps = {"https?://(www\\.)?example\\.com/.*"}}},
        {"@-moz-document /* the site */ regexp('https://a\\\\.example/.*') /* x */",
         {.regexps = {"https://a\\.example/.*"}}},
        {"@-moz-document\r\n  url-prefix(\r\n    \"https://a.example/\"\r\n  ),\r\n"
         "  /* mirror */\r\n  url-prefix(\"https://b.example/\"),\r\n  domain(\r\n c.example\r\n)",
         {.domains = {"c.example"}, .urlPrefixes = {"https://a.example/", "https://b.example/"}}},
        {"@-moz-document domain(\"a.example\") /* , url(\"x\") */, /**/ domain(\"b.example\")",
         {.domains = {"a.example", "b.example"}}},
        // A comment marker inside a quoted value is text; an unclosed comment ends
        // the header.
        {"@-moz-document url-prefix(\"https://a.example/*\"), domain('/*b*/')",
         {.domains = {"/*b*/"}, .urlPrefixes = {"https://a.example/*"}}},
        {"@-moz-document domain(a) /* , domain(b)", {.domains = {"a"}}},
        // White space between a function's name and its "(" makes it no rule, as
        // in CSS.
        {"@-moz-document url (\"x\"), domain(y)", {.domains = {"y"}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseMozDocumentRules(c.header, "  code "), section(c.rules, "  code "))
            << c.header;
    }
}

}  // namespace
}  // namespace orlavine
