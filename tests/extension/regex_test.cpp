// Regular expressions of style rules: browser-like syntax, bounded work on hostile patterns and
// addresses, and literal filters that never rule out an address a pattern matches.

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "extension/regex_literals.h"
#include "extension/rule_regex.h"

namespace orlavine {
namespace {

bool matches(std::string_view pattern, RegexUse use, std::string_view text) {
    MatchScratch scratch;
    const auto regex = RuleRegex::compile(pattern, use);
    return regex && regex->matches(text, scratch);
}

bool whole(std::string_view pattern, std::string_view text) {
    return matches(pattern, RegexUse::wholeText, text);
}

bool within(std::string_view pattern, std::string_view text) {
    return matches(pattern, RegexUse::anywhere, text);
}

TEST(RuleRegex, ReadsPatternsTheWayBrowsersDo) {
    EXPECT_TRUE(whole("\\u0041\\x42", "AB"));
    EXPECT_TRUE(whole("a[^]b", "a\nb")) << "[^] is any character";
    EXPECT_FALSE(within("a[]", "a]")) << "[] matches nothing";
    EXPECT_FALSE(within("a$", "a\n")) << "$ only at the very end";
    EXPECT_TRUE(whole("(a)?\\1b", "b")) << "an unset group's reference matches empty";
    EXPECT_TRUE(whole("é+", "éé"));
    // The first match decides for whole-text rules; any match does for exclusions.
    EXPECT_FALSE(whole("a|ab", "ab"));
    EXPECT_TRUE(whole("ab|a", "ab"));
    EXPECT_FALSE(whole("b", "ab"));
    EXPECT_TRUE(within("b", "ab"));
    EXPECT_TRUE(within("^a", "ab"));
    EXPECT_FALSE(within("^b", "ab"));
    EXPECT_TRUE(within("(b)(c)(d)", "abcd")) << "more groups than the match data holds";
}

TEST(RuleRegex, InvalidPatternsMatchNothing) {
    for (const char* pattern : {"(", "[", "a{2,1}", "\\", "*a", "(?<", "\xff", "a)(b", "\\C"}) {
        EXPECT_FALSE(RuleRegex::compile(pattern, RegexUse::wholeText)) << pattern;
        EXPECT_FALSE(RuleRegex::compile(pattern, RegexUse::anywhere)) << pattern;
    }
    const std::string huge(100 * 1024, 'a');
    EXPECT_FALSE(RuleRegex::compile(huge, RegexUse::anywhere)) << "over the length cap";
    EXPECT_FALSE(within(huge, huge));
}

TEST(RuleRegex, HostilePatternsEndQuicklyWithoutAMatch) {
    std::string as = "https://a.com/";
    while (as.size() < 8192) {
        as += "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa";
    }
    const std::string subject = as + "!";
    const std::vector<std::string> wholePatterns = {
        "https://a\\.com/(a+)+$",   "https://a\\.com/(a|aa)+$",
        "https://a\\.com/(a|a?)+$", "(.*a){20}$",
        "^(([a-z:/.])+)+$",         "https://a\\.com/(a*)*$"};
    const std::vector<std::string> withinPatterns = {"(a+)+!x", "(a|aa)+!x", "(.*a){20}!x",
                                                     "(a*)*b", "(?:[^!]*a)*!x"};
    for (const auto& pattern : wholePatterns) {
        const auto started = std::chrono::steady_clock::now();
        EXPECT_FALSE(whole(pattern, subject)) << pattern;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500))
            << pattern;
    }
    for (const auto& pattern : withinPatterns) {
        const auto started = std::chrono::steady_clock::now();
        EXPECT_FALSE(within(pattern, subject)) << pattern;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500))
            << pattern;
    }
    // Ordinary patterns still work on the same long address.
    EXPECT_TRUE(whole("https://a\\.com/a+!", subject));
    EXPECT_TRUE(whole("https?://[^/]+/.*", subject));
    EXPECT_TRUE(within("a!", subject));
}

TEST(RuleRegex, InvalidUtf8InTheTextDoesNotFailTheMatch) {
    EXPECT_TRUE(within("b",
                       "a\xff"
                       "b"));
    EXPECT_TRUE(within("^a", "a\xc3"));
    EXPECT_FALSE(within("z",
                        "a\xff"
                        "b"));
}

// Random patterns from pieces that stress the literal reading; whenever a pattern matches a
// text, its literals must allow that text.
TEST(RuleRegex, LiteralFiltersNeverRuleOutAMatch) {
    const std::vector<std::string> pieces = {
        "a",    "b",  "ab",   "\\.", ".",    "*",       "+",     "?",     "{2}",     "{0,1}", "(a)",
        "(?:b", ")",  "[ab]", "[^]", "^",    "$",       "|",     "\\d",   "\\b",     "(?=a)", "é",
        "a?",   "ba", "\\/",  "/",   "c{1}", "(?<x>a)", "(?!b)", "(a|b)", "\\u0061", "[]"};
    const std::vector<std::string> texts = {"",     "a", "ab",   "ba/",   "aab.", "a/b",
                                            "abab", "é", "aé/a", "bbaab", "c/ab", "a.b/c"};
    std::mt19937 random(7);
    int checked = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string pattern;
        const int count = std::uniform_int_distribution<>(1, 5)(random);
        for (int i = 0; i < count; ++i) {
            pattern +=
                pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(random)];
        }
        const PatternLiterals literals = patternLiterals(pattern);
        MatchScratch scratch;
        const auto wholeRegex = RuleRegex::compile(pattern, RegexUse::wholeText);
        const auto withinRegex = RuleRegex::compile(pattern, RegexUse::anywhere);
        for (const std::string& text : texts) {
            if (wholeRegex && wholeRegex->matches(text, scratch)) {
                ++checked;
                EXPECT_TRUE(literalsAllowWholeMatch(literals, text)) << pattern << " on " << text;
            }
            if (withinRegex && withinRegex->matches(text, scratch)) {
                EXPECT_TRUE(literalsAllowMatchWithin(literals, text)) << pattern << " on " << text;
            }
        }
    }
    EXPECT_GT(checked, 1000);
}

}  // namespace
}  // namespace orlavine
