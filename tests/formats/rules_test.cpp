// Parsing a block header into the four rule lists.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document_fixtures.h"
#include "formats/moz_document_reader.h"

namespace orlavine {
namespace {

using testing::section;

styleSection rules(const std::string& header) {
    return parseMozDocumentRules(header, "code");
}

TEST(Rules, EachFunctionFillsItsListInOrder) {
    EXPECT_EQ(rules("@-moz-document domain(\"a.example\"), url(\"https://b.example/\"), "
                    "url-prefix('https://c.example/x'), regexp(\"https://d\\\\.example/.*\"), "
                    "domain(e.example), domain(\"a.example\")"),
              section({.domains = {"a.example", "e.example", "a.example"},
                       .urls = {"https://b.example/"},
                       .urlPrefixes = {"https://c.example/x"},
                       .regexps = {"https://d\\.example/.*"}},
                      "code"));
    // The code is kept as given; no header at all gives four empty lists.
    EXPECT_EQ(parseMozDocumentRules("", "  a  "), section({}, "  a  "));
    // Unknown functions and wrong letter case are skipped.
    EXPECT_EQ(rules("@-moz-document media(print), Domain(x), domain(y)"),
              section({.domains = {"y"}}, "code"));
}

TEST(Rules, ValuesAreTakenAsWrittenBetweenTheQuotesOrParentheses) {
    // Unquoted values keep everything between the parentheses, spaces and quotes included.
    EXPECT_EQ(rules("@-moz-document url(  'x' )").urls, std::vector<std::string>{"  'x' "});
    EXPECT_EQ(rules("@-moz-document url( x )").urls, std::vector<std::string>{" x "});
    // The separator is exactly "),": with a space before the comma it does not cut.
    EXPECT_EQ(rules("@-moz-document url('a') , url('b')").urls,
              std::vector<std::string>{"a') , url('b"});
    // Values are not unescaped.
    EXPECT_EQ(rules("@-moz-document url(\"a\\\\b\")").urls, std::vector<std::string>{"a\\\\b"});
    // A quoted value that is never closed adds nothing, also when the quote pairs overlap.
    EXPECT_EQ(rules("@-moz-document domain(\"open), url(\"x\")"), section({.urls = {"x"}}, "code"));
    EXPECT_EQ(rules("@-moz-document url(\")"), section({}, "code"));
    EXPECT_EQ(rules("@-moz-document url('), domain(\"), url-prefix(\"\")"),
              section({.urlPrefixes = {""}}, "code"));
    // Unicode values stay whole.
    EXPECT_EQ(
        rules("@-moz-document domain('bücher.example'), url-prefix('https://例え.jp/')"),
        section({.domains = {"bücher.example"}, .urlPrefixes = {"https://例え.jp/"}}, "code"));
}

TEST(Rules, RegexpsMustBeQuotedAndAreUnescapedTwice) {
    EXPECT_EQ(rules("@-moz-document regexp(.*)"), section({}, "code"));
    // Doubled backslashes become single, then backslash-slash becomes "/".
    EXPECT_EQ(rules("@-moz-document regexp('^https:\\\\/\\\\/a\\\\.example\\\\/\\\\d+$')").regexps,
              std::vector<std::string>{"^https://a\\.example/\\d+$"});
    EXPECT_EQ(rules("@-moz-document regexp(\"a\\/b\\\\\\\\c\")").regexps,
              std::vector<std::string>{"a/b\\\\c"});
}

TEST(Rules, ParenthesisRestoredAfterTheHeaderLostIt) {
    // "@-moz-document domain(a.example){" leaves the header without its ")".
    EXPECT_EQ(rules("@-moz-document domain(a.example"),
              section({.domains = {"a.example"}}, "code"));
    EXPECT_EQ(rules("@-moz-document url-prefix(\"https://x/\""),
              section({.urlPrefixes = {"https://x/"}}, "code"));
}

}  // namespace
}  // namespace orlavine
