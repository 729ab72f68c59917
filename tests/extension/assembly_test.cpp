// Page CSS assembly: which styles and sections a page gets, in which order and form. Every
// result is also checked against the uncached assembly, so both agree on each case here.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "extension/page_css.h"
#include "support/uncached_assembly.h"

namespace orlavine {
namespace {

struct Rules {
    std::vector<std::string> urls = {};
    std::vector<std::string> domains = {};
    std::vector<std::string> prefixes = {};
    std::vector<std::string> regexps = {};
};

styleSection section(std::string code, Rules rules = {}) {
    styleSection s;
    s.code = std::move(code);
    s.urls = std::move(rules.urls);
    s.domains = std::move(rules.domains);
    s.urlPrefixes = std::move(rules.prefixes);
    s.regexps = std::move(rules.regexps);
    return s;
}

styleContainer style(std::int64_t id, std::vector<styleSection> sections) {
    styleContainer s;
    s.uniqueID = id;
    s.styleData.name = "style " + std::to_string(id);
    s.styleData.sections = std::move(sections);
    s.source = "custom";
    return s;
}

styleDatabase library(std::vector<styleContainer> styles) {
    styleDatabase db;
    db.styles = std::move(styles);
    return db;
}

std::string css(const styleDatabase& db, std::string_view address, bool isFrame = false) {
    const std::string compiled = CompiledLibrary::build(db)->pageCSS(address, isFrame);
    EXPECT_EQ(compiled, uncachedPageCSS(db, address, isFrame)) << address;
    return compiled;
}

std::vector<std::int64_t> active(const styleDatabase& db, std::string_view address) {
    const auto keys = CompiledLibrary::build(db)->activeStyles(address);
    EXPECT_EQ(keys, uncachedActiveStyles(db, address)) << address;
    std::vector<std::int64_t> ids;
    for (const styleKeys& key : keys) {
        ids.push_back(key.id);
    }
    return ids;
}

// The text a section gets for one rule of each kind, so one helper tests every matcher.
std::string matches(Rules rules, std::string_view address) {
    return css(library({style(1, {section("a{}", std::move(rules))})}), address);
}

TEST(PageCss, SwitchForAllStylesGivesNothingWhenOff) {
    const auto compiled = CompiledLibrary::build(library({style(1, {section("a{}")})}));
    EXPECT_EQ(assemblePageCSS(*compiled, "https://example.com/", false, false), "");
    EXPECT_TRUE(activeStyleKeys(*compiled, "https://example.com/", false).empty());
    EXPECT_EQ(assemblePageCSS(*compiled, "https://example.com/", false, true), "a{}\n");
    EXPECT_EQ(activeStyleKeys(*compiled, "https://example.com/", true),
              (std::vector<styleKeys>{{"style 1", 1}}));
}

TEST(PageCss, StylesAndSectionsComeInLibraryOrder) {
    const auto db = library({
        style(1, {section("one{}", {.domains = {"example.com"}}), section("two{}"),
                  section("miss{}", {.domains = {"other.org"}})}),
        style(2, {section("three{}", {.prefixes = {"https://"}})}),
        style(3, {section("four{}"), section("five{}", {.urls = {"https://example.com/"}})}),
    });
    EXPECT_EQ(css(db, "https://example.com/"), "one{}\ntwo{}\nthree{}\nfour{}\nfive{}\n");
    // A section with several matching rules is appended once; a style listed once.
    const auto twice = library({style(1, {section("x{}", {.urls = {"https://a.com/"},
                                                          .domains = {"a.com"},
                                                          .prefixes = {"https://a"},
                                                          .regexps = {"https://a\\.com/"}}),
                                          section("y{}", {.domains = {"a.com"}})})});
    EXPECT_EQ(css(twice, "https://a.com/"), "x{}\ny{}\n");
    EXPECT_EQ(active(twice, "https://a.com/"), std::vector<std::int64_t>{1});
    EXPECT_EQ(active(db, "https://example.com/"), (std::vector<std::int64_t>{1, 2, 3}));
}

TEST(PageCss, DisabledAndExcludedStylesContributeNothing) {
    auto disabled = style(1, {section("off{}")});
    disabled.isEnabled = false;
    auto kept = style(9, {section("kept{}")});
    const auto only = [&](styleContainer excluding) {
        return library({disabled, std::move(excluding), kept});
    };
    const std::string page = "https://Sub.Example.COM/path?q=1";
    auto s = style(2, {section("x{}")});
    EXPECT_EQ(css(only(s), page), "x{}\nkept{}\n");

    s.exclURL = std::vector<std::string>{page};
    EXPECT_EQ(css(only(s), page), "kept{}\n");
    EXPECT_EQ(css(only(s), page + "/"), "x{}\nkept{}\n") << "no trailing-slash variant";

    s = style(2, {section("x{}")});
    s.exclDomain = std::vector<std::string>{"EXAMPLE.com"};
    EXPECT_EQ(css(only(s), page), "kept{}\n") << "host suffix, letter case ignored";
    EXPECT_EQ(css(only(s), "https://example.org/"), "x{}\nkept{}\n");
    EXPECT_EQ(css(only(s), "not a url example.com"), "x{}\nkept{}\n") << "no host, no match";

    s = style(2, {section("x{}")});
    s.exclPrefix = std::vector<std::string>{"https://Sub."};
    EXPECT_EQ(css(only(s), page), "kept{}\n");
    EXPECT_EQ(css(only(s), "https://sub.example.com/"), "x{}\nkept{}\n") << "case-sensitive";

    s = style(2, {section("x{}")});
    s.exclRegExp = std::vector<std::string>{"(", "q=\\d"};  // partial match; invalid ignored
    EXPECT_EQ(css(only(s), page), "kept{}\n");
    EXPECT_EQ(css(only(s), "https://example.com/?q=x"), "x{}\nkept{}\n");

    s = style(2, {section("x{}")});
    s.exclURL = s.exclDomain = s.exclPrefix = s.exclRegExp = std::vector<std::string>{};
    EXPECT_EQ(css(only(s), page), "x{}\nkept{}\n") << "empty lists exclude nothing";
    EXPECT_EQ(active(only(s), page), (std::vector<std::int64_t>{2, 9}));
    s.exclDomain = std::vector<std::string>{"example.com"};
    EXPECT_EQ(active(only(s), page), std::vector<std::int64_t>{9});
}

TEST(PageCss, FramesGetOnlyStylesThatAllowThem) {
    auto absent = style(1, {section("absent{}")});
    auto no = style(2, {section("no{}")});
    no.allowIframe = false;
    auto yes = style(3, {section("yes{}")});
    yes.allowIframe = true;
    const auto db = library({absent, no, yes});
    EXPECT_EQ(css(db, "https://example.com/", true), "yes{}\n");
    EXPECT_EQ(css(db, "https://example.com/", false), "absent{}\nno{}\nyes{}\n");
    EXPECT_EQ(active(db, "https://example.com/"), (std::vector<std::int64_t>{1, 2, 3}));
}

TEST(PageCss, LessAndStylusStylesInjectTheirCompiledSections) {
    auto s = style(1, {section("source{}")});
    s.styleData.sections[0].compiledcode = "compiled{}";
    s.styleData.compSections = std::vector<styleSection>{section("comp{}")};
    for (const char* language : {"less", "stylus"}) {
        s.preprocessor = language;
        EXPECT_EQ(css(library({s}), "https://a.com/"), "comp{}\n") << language;
    }
    for (const char* language : {"default", "uso", "Less", ""}) {
        s.preprocessor = language;
        EXPECT_EQ(css(library({s}), "https://a.com/"), "compiled{}\n") << language;
    }
    s.preprocessor = "less";
    s.styleData.compSections.reset();
    EXPECT_EQ(css(library({s}), "https://a.com/"), "compiled{}\n");
    s.styleData.compSections = std::vector<styleSection>{};
    EXPECT_EQ(css(library({s}), "https://a.com/"), "") << "present but empty";
}

TEST(PageCss, SectionsWithNothingButCommentsOrANamespaceAreSkipped) {
    const auto injected = [](std::string code) {
        return !css(library({style(1, {section(std::move(code))})}), "https://a.com/").empty();
    };
    EXPECT_FALSE(injected(""));
    EXPECT_FALSE(injected(" \n\t\u00a0\u3000"));
    EXPECT_FALSE(injected("  /* one comment */  "));
    EXPECT_FALSE(injected("/* a */\n/* b */\n\n/* c\n   d */"));
    EXPECT_FALSE(injected("@namespace url(http://www.w3.org/1999/xhtml);"));
    EXPECT_TRUE(injected("@namespace url(http://www.w3.org/1999/xhtml);\na{}"));
    EXPECT_TRUE(injected("/* header */\na { color: red }"));
    EXPECT_TRUE(injected("/* a */\na{}\n/* b */"));
    // Rules between comments whose ends are not followed directly by a line feed.
    EXPECT_TRUE(injected("/* a */ a { color: red } /* b */"));
    EXPECT_TRUE(injected("/* a */\r\na { color: red }\r\n/* b */"));
    EXPECT_TRUE(injected("/* a */ \na{}\n/* b */"));

    // The text tested is the one injected: compiled code wins over code.
    auto s = style(1, {section("a{}")});
    s.styleData.sections[0].compiledcode = "/* nothing left */";
    EXPECT_EQ(css(library({s}), "https://a.com/"), "");
}

TEST(PageCss, UrlRulesMatchExactlyOrWithATrailingSlash) {
    EXPECT_EQ(matches({.urls = {"https://a.com/x"}}, "https://a.com/x"), "a{}\n");
    EXPECT_EQ(matches({.urls = {"https://a.com/x"}}, "https://a.com/x/"), "a{}\n");
    EXPECT_EQ(matches({.urls = {"https://a.com/x/"}}, "https://a.com/x"), "");
    EXPECT_EQ(matches({.urls = {"https://a.com/x"}}, "https://a.com/X"), "");
    EXPECT_EQ(matches({.urls = {"https://a.com/x"}}, "https://a.com/x?y"), "");
    EXPECT_EQ(matches({.urls = {""}}, "/"), "a{}\n");
}

TEST(PageCss, DomainRulesAreHostSuffixesIgnoringCase) {
    EXPECT_EQ(matches({.domains = {"example.com"}}, "https://example.com/"), "a{}\n");
    EXPECT_EQ(matches({.domains = {"Example.COM"}}, "https://WWW.example.com:8080/a"), "a{}\n");
    EXPECT_EQ(matches({.domains = {"ample.com"}}, "https://example.com/"), "a{}\n");
    EXPECT_EQ(matches({.domains = {"example.com"}}, "https://example.com.evil.org/"), "");
    EXPECT_EQ(matches({.domains = {"example.com"}}, "https://other.org/example.com"), "");
    EXPECT_EQ(matches({.domains = {"::1"}}, "http://[::1]:8080/"), "a{}\n");
    EXPECT_EQ(matches({.domains = {"a-b.com"}}, "https://a%2Db.com/"), "a{}\n");
    for (const char* hostless : {"about:blank", "file:///home/a.css", "", "not a url",
                                 "https://bad host.com/", "data:text/css,a.com"}) {
        EXPECT_EQ(matches({.domains = {"com"}}, hostless), "") << hostless;
        EXPECT_EQ(matches({.domains = {""}}, hostless), "") << hostless;
    }
}

TEST(PageCss, PrefixRulesAreCaseSensitive) {
    EXPECT_EQ(matches({.prefixes = {"https://a.com/docs"}}, "https://a.com/docs/x"), "a{}\n");
    EXPECT_EQ(matches({.prefixes = {"https://a.com/docs"}}, "https://a.com/Docs/x"), "");
    EXPECT_EQ(matches({.prefixes = {"https://a.com/docs/"}}, "https://a.com/docs"), "");
    EXPECT_EQ(matches({.prefixes = {"not a"}}, "not a url"), "a{}\n");
}

TEST(PageCss, RegexRulesMustCoverTheWholeAddress) {
    EXPECT_EQ(matches({.regexps = {"https://a\\.com/.*"}}, "https://a.com/x?y#z"), "a{}\n");
    EXPECT_EQ(matches({.regexps = {"a\\.com"}}, "https://a.com/"), "") << "partial";
    EXPECT_EQ(matches({.regexps = {"https://a\\.com/x/"}}, "https://a.com/x"), "a{}\n");
    EXPECT_EQ(matches({.regexps = {"https://A\\.com/"}}, "https://a.com/"), "");
    // The first (leftmost, first alternative) match decides, not the longest one.
    EXPECT_EQ(matches({.regexps = {"https://a\\.com|https://a\\.com/x"}}, "https://a.com/x"), "");
    EXPECT_EQ(matches({.regexps = {"https://a\\.com/x|https://a\\.com"}}, "https://a.com/x"),
              "a{}\n");
    EXPECT_EQ(matches({.regexps = {"x|https://a\\.com/"}}, "https://a.com/"), "a{}\n");
    EXPECT_EQ(matches({.regexps = {".*"}}, "not a url"), "a{}\n");
    // An invalid expression matches nothing, and the other rules still count.
    EXPECT_EQ(matches({.regexps = {"(", "[z-a]", "https://a\\.com/"}}, "https://a.com/"), "a{}\n");
    EXPECT_EQ(matches({.regexps = {"("}}, "https://a.com/"), "");
    // Invalid UTF-8 in the address does not stop expressions from matching the rest.
    EXPECT_EQ(matches({.regexps = {"https://a\\.com/.*"}}, "https://a.com/\xff\xfe"), "a{}\n");
    EXPECT_EQ(matches({.regexps = {"https://a\\.com/.+x"}}, "https://a.com/\xc3x"), "a{}\n");
}

TEST(PageCss, SectionsWithoutRulesApplyEverywhere) {
    const auto db = library({style(1, {section("all{}"), section("re{}", {.regexps = {"z"}})})});
    for (const char* address : {"https://a.com/", "about:blank", "", "\xff", "::"}) {
        EXPECT_EQ(css(db, address), "all{}\n") << address;
    }
}

TEST(PageCss, StylesBoundToAnAppearanceAreWrapped) {
    auto s = style(1, {section("a{}"), section("b{}")});
    s.systemTheme = "dark";
    EXPECT_EQ(css(library({s}), "https://a.com/"),
              "@media (prefers-color-scheme: dark) {\na{}}\n"
              "@media (prefers-color-scheme: dark) {\nb{}}\n");
    s.systemTheme = "light";
    EXPECT_EQ(css(library({s}), "https://a.com/"),
              "@media (prefers-color-scheme: light) {\na{}}\n"
              "@media (prefers-color-scheme: light) {\nb{}}\n");
    for (const char* other : {"none", "Dark", ""}) {
        s.systemTheme = other;
        EXPECT_EQ(css(library({s}), "https://a.com/"), "a{}\nb{}\n") << other;
    }
    s.systemTheme.reset();
    EXPECT_EQ(css(library({s}), "https://a.com/"), "a{}\nb{}\n");
}

TEST(PageCss, HostileRulesCannotStallOrBreakAPage) {
    std::string longAddress = "https://a.com/";
    while (longAddress.size() < 8192) {
        longAddress += "aaaaaaaaaaaaaaaa";
    }
    longAddress += "!";
    const std::string huge = "(" + std::string(100 * 1024, 'a') + ")";
    auto hostile = style(
        1, {section("hostile{}", {.regexps = {"https://a\\.com/(a+)+$", "https://a\\.com/(a|aa)+$",
                                              "(.*a){20}$", "^(\\w+\\W?)*$", huge, "(", "\\"}})});
    hostile.exclRegExp = std::vector<std::string>{"(a+)+!x", "(.*a){20}!x", "(a|a)*b", huge, ")"};
    auto fine = style(2, {section("fine{}", {.regexps = {"https://a\\.com/a+!"}})});
    const auto db = library({hostile, fine});
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(css(db, longAddress), "fine{}\n");
    EXPECT_EQ(active(db, longAddress), std::vector<std::int64_t>{2});
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST(PageCss, OneLibraryServesManyThreadsAtOnce) {
    std::vector<styleContainer> styles;
    for (int i = 0; i < 50; ++i) {
        styles.push_back(style(
            i, {section("s" + std::to_string(i) + "{}",
                        {.regexps = {"https://site" + std::to_string(i % 5) + "\\.com/.*"}})}));
    }
    const auto compiled = CompiledLibrary::build(library(styles));
    std::vector<std::string> expected;
    for (int site = 0; site < 5; ++site) {
        expected.push_back(
            compiled->pageCSS("https://site" + std::to_string(site) + ".com/", false));
        EXPECT_EQ(std::count(expected.back().begin(), expected.back().end(), '\n'), 10);
    }
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 200; ++round) {
                const int site = (round + t) % 5;
                if (compiled->pageCSS("https://site" + std::to_string(site) + ".com/", false) !=
                    expected[site]) {
                    ++wrong[t];
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace orlavine
