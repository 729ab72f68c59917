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
        // Unquoted values keep everything between the parentheses.
        {"@-moz-document url(  'x' )", {.urls = {"  'x' "}}},
        {"@-moz-document url( x )", {.urls = {" x "}}},
        // The separator is exactly "),": with a space before the comma it does
        // not cut.
        {"@-moz-document url('a') , url('b')", {.urls = {"a') , url('b"}}},
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
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseMozDocumentRules(c.header, "  code "), section(c.rules, "  code "))
            << c.header;
    }
}

}  // namespace
}  // namespace orlavine
