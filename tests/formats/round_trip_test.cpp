// What writeUserCSS writes, readUserCSS reads back into the same sections, variables and
// metadata: over generated styles and over every document of tests/data/usercss.

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <string>
#include <vector>

#include "document_fixtures.h"
#include "formats/usercss_reader.h"
#include "formats/usercss_writer.h"
#include "text/text.h"

namespace orlavine {
namespace {

using testing::bare;
using testing::section;

constexpr double kLowest = std::numeric_limits<double>::lowest();
constexpr double kHighest = std::numeric_limits<double>::max();

// Choice variables are written as "select"; a freshly read variable holds its default.
userVariable asWritten(userVariable v) {
    if (v.type == "dropdown" || v.type == "image") {
        v.type = "select";
    }
    v.currentValue = v.defaultValue;
    return v;
}

std::vector<userVariable> asWritten(const std::optional<std::vector<userVariable>>& vars) {
    std::vector<userVariable> out;
    for (const userVariable& v : vars.value_or(std::vector<userVariable>{})) {
        out.push_back(asWritten(v));
    }
    return out;
}

void expectSameDocument(const styleContainer& original, const styleContainer& reread,
                        const std::string& text) {
    EXPECT_EQ(reread.styleData.sections, original.styleData.sections) << text;
    EXPECT_EQ(asWritten(reread.userVariables), asWritten(original.userVariables)) << text;
    EXPECT_EQ(reread.styleData.name, original.styleData.name);
    EXPECT_EQ(reread.author, original.author);
    EXPECT_EQ(reread.description, original.description);
    EXPECT_EQ(reread.version, original.version);
    EXPECT_EQ(reread.namespace_, original.namespace_);
    EXPECT_EQ(reread.license, original.license);
    EXPECT_EQ(reread.preprocessor, original.preprocessor);
    EXPECT_EQ(reread.updateURL, original.updateURL);
}

// Builds random styles out of pieces that the document format can hold: code with balanced
// braces, no "//" followed by a brace on the same line, rule values without '")' or '),', and
// bare sections that neither follow one another nor are a lone comment.
class StyleGenerator {
  public:
    explicit StyleGenerator(unsigned seed) : rng_(seed) {}

    styleContainer style() {
        styleContainer s;
        s.styleData.name = pick({"Midnight Reader", "Größe ✓ 名前", "x", "Style: the sequel"});
        s.author = pick({"", "Ana <ana@example.org>", "Bo"});
        s.description = pick({"", "One line.", "Two\n  lines, the second indented", "Ünï ✓"});
        s.version = pick({"", "1.0.0", "2024.1"});
        s.namespace_ = pick({"", "ns.example"});
        s.license = pick({"", "MIT", "CC-BY-SA-4.0"});
        s.preprocessor = pick({"", "default", "less", "stylus", "uso"});
        if (chance(0.5)) {
            s.updateURL = "https://u.example/s.user.css";
        }
        const bool stylus = s.preprocessor == "stylus";
        const int sectionCount = 1 + number(5);
        bool previousBare = false;
        bool previousBraceless = false;
        for (int i = 0; i < sectionCount; ++i) {
            const bool bareAllowed = !previousBare && !previousBraceless;
            if (bareAllowed && chance(0.25)) {
                s.styleData.sections.push_back(
                    bare(pick({"html { color: red; }", ":root {\n\t--x: 1;\n\t--y: \"ü\";\n}",
                               "body > p::first-line { font-weight: bold }"})));
                previousBare = true;
                previousBraceless = false;
                continue;
            }
            styleSection sec = rules();
            sec.code = stylus && chance(0.5) ? stylusCode() : cssCode();
            // Stylus code without braces is written without them, and runs on to the next block.
            previousBraceless = stylus && sec.code.find('{') == std::string::npos;
            s.styleData.sections.push_back(std::move(sec));
            previousBare = false;
        }
        std::vector<userVariable> vars;
        const int varCount = number(6);
        for (int i = 0; i < varCount; ++i) {
            vars.push_back(variable(i));
        }
        s.userVariables = std::move(vars);
        return s;
    }

  private:
    bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }
    int number(int below) { return std::uniform_int_distribution<int>(0, below - 1)(rng_); }
    std::string pick(std::initializer_list<const char*> list) {
        return *(list.begin() + number(static_cast<int>(list.size())));
    }

    styleSection rules() {
        styleSection s;
        const int n = 1 + number(4);
        for (int i = 0; i < n; ++i) {
            switch (number(4)) {
                case 0:
                    s.domains.push_back(pick({"example.com", "bücher.example", "a-b.example.org"}));
                    break;
                case 1:
                    s.urls.push_back(
                        pick({"https://example.com/", "https://example.com/a?b=c&d=e#f",
                              "https://例え.jp/パス", "https://x.example/a,b"}));
                    break;
                case 2:
                    s.urlPrefixes.push_back(
                        pick({"https://example.com/docs/", "http://localhost:8080/"}));
                    break;
                default:
                    s.regexps.push_back(
                        pick({"https?://(www\\.)?example\\.com/.*", "^https://a\\.example/\\d+$",
                              ".*\\\\path\\\\.*", "https://x\\.example/(a|b)/[^?]*"}));
                    break;
            }
        }
        return s;
    }

    std::string cssCode() {
        std::string code = pick({"color: #abc;", "a { b: c; }", "/* note: ü ✓ */"});
        const int more = number(4);
        for (int i = 0; i < more; ++i) {
            code += pick({"\n", "\n\t", "\n  "});
            code += pick({"color: #abc;", "a { b: c; }", "/* note: ü ✓ */",
                          "@media (max-width: 600px) {\n\t.x { display: none; }\n}",
                          "background: url(https://example.com/a.png);",
                          "content: \"→ «quoted» ←\";", ".a > .b:hover { color: red }"});
        }
        return code;
    }

    std::string stylusCode() {
        std::string code = pick({"body", "nav a", "header"});
        const int more = 1 + number(3);
        for (int i = 0; i < more; ++i) {
            code += pick({"\n\tcolor red", "\n\tpadding 4px 12px", "\n\t\tmargin 0", "\nfooter"});
        }
        return code;
    }

    std::vector<variableOption> options(bool marks) {
        std::vector<variableOption> list;
        const int n = 1 + number(4);
        for (int i = 0; i < n; ++i) {
            variableOption o;
            o.name = (marks && chance(0.3))
                         ? "opt" + std::to_string(i) + "*"
                         : pick({"dark", "light", "sépia", "o"}) + std::to_string(i);
            o.label =
                chance(0.3) ? *o.name : pick({"Dark", "Größe ✓", "Light: bright", "it's", "x*"});
            o.value = pick({"#000", "", "font-family: \"Inter\", 'Helvetica Neue', sans-serif;",
                            "url(https://a.example/x.png)", "C:\\path\\", "it's", "`tick`", "a, b",
                            "multi\nline value", "/* a */ b", "\\/ slash"});
            list.push_back(std::move(o));
        }
        return list;
    }

    userVariable variable(int index) {
        userVariable v;
        v.name = "v" + std::to_string(index);
        v.label = pick({"Accent colour", "Größe ✓", "Label: with colon", "it's", "", "Say \"hi\"",
                        "both ' and \"", "two  spaces"});
        v.type =
            pick({"text", "color", "checkbox", "number", "range", "select", "dropdown", "image"});
        if (v.type == "text") {
            v.defaultValue =
                pick({"plain", "Read: later", "https://a.example/x.png", "'Segoe UI', sans-serif",
                      "'quoted'", "\"dq\"", "", "ünïcødé ✓", "a, b; c", "[1, 2]", "  padded  ",
                      " lead", "trail\t", "in  between"});
        } else if (v.type == "color") {
            v.defaultValue = pick({"#ff7a00", "rgba(0, 0, 0, .25)", "hsl(210 40% 50%)"});
        } else if (v.type == "checkbox") {
            v.defaultValue = pick({"0", "1"});
        } else if (v.type == "number" || v.type == "range") {
            v.defaultValue = pick({"3", "-2.5", "0", "12"});
            const double d = std::stod(v.defaultValue);
            const bool unbounded = v.type == "number";
            rangeOpts r{unbounded ? kLowest : 0.0, unbounded ? kHighest : 100.0, 1, std::nullopt};
            if (chance(0.7)) {
                const double mins[] = {0, -10, 0.5, unbounded ? kLowest : -1e-5};
                const double maxs[] = {10, 100, 1e6, unbounded ? kHighest : 1e20};
                const double steps[] = {1, 0.5, 0.01, 1e-7};
                r.min = std::min(mins[number(4)], d);
                r.max = std::max(maxs[number(4)], d);
                r.step = steps[number(4)];
                if (chance(0.5)) {
                    r.units = pick({"px", "em", "%", ""});
                }
            }
            r.min = std::min(r.min, d);  // the reader widens the bounds to take in the default
            v.rangeOptions = r;
        } else {
            const bool dropdown = v.type == "dropdown";
            v.selectOptions = options(!dropdown);
            v.defaultValue = "0";
            for (std::size_t i = 0; i < v.selectOptions->size(); ++i) {
                if ((*v.selectOptions)[i].name->ends_with('*')) {
                    v.defaultValue = std::to_string(i);
                    break;
                }
            }
        }
        v.currentValue = chance(0.5) ? std::optional<std::string>("1") : std::nullopt;
        return v;
    }

    std::mt19937 rng_;
};

TEST(RoundTrip, GeneratedStylesReadBackUnchanged) {
    for (unsigned seed = 1; seed <= 400; ++seed) {
        StyleGenerator generator(seed);
        const styleContainer original = generator.style();
        const std::string text = writeUserCSS(original);
        const auto reread = readUserCSS(text);
        ASSERT_TRUE(reread) << "seed " << seed << "\n" << text;
        expectSameDocument(original, *reread, text);
        EXPECT_EQ(writeUserCSS(*reread), text) << "seed " << seed;
        if (::testing::Test::HasFailure()) {
            FAIL() << "seed " << seed;
        }
    }
}

TEST(RoundTrip, EveryFixtureReadsBackUnchanged) {
    const std::vector<std::string> fixtures = testing::allUsercssFixtures();
    EXPECT_GE(fixtures.size(), 6u);
    for (const std::string& name : fixtures) {
        SCOPED_TRACE(name);
        const auto first = readUserCSS(testing::readFixture(name));
        ASSERT_TRUE(first);
        const std::string text = writeUserCSS(*first);
        const auto second = readUserCSS(text);
        ASSERT_TRUE(second) << text;
        expectSameDocument(*first, *second, text);
        EXPECT_EQ(writeUserCSS(*second), text);
    }
}

TEST(RoundTrip, AStyleThatAppliesEverywhereComesBackFromItsExport) {
    styleContainer style;
    style.styleData.name = "Everywhere";
    style.author = "me";
    style.styleData.sections = {bare("body { color: red }"), bare("a { color: blue }")};
    userVariable v;
    v.type = "color";
    v.name = "fg";
    v.label = "Text";
    v.defaultValue = "#eee";
    v.currentValue = "#eee";
    style.userVariables = std::vector<userVariable>{v};
    const std::string text = writeUserCSS(style);
    EXPECT_FALSE(text::contains(text, "@-moz-document"));
    // A document with a metadata block is a UserCSS document, blocks or not.
    EXPECT_TRUE(isUserCSSDocument(text));
    EXPECT_TRUE(isUserCSSDocument("\xEF\xBB\xBF\n  " + text));
    EXPECT_TRUE(isUserCSSDocument("@-moz-document domain(a) { }"));
    EXPECT_FALSE(isUserCSSDocument("body { color: red }"));
    EXPECT_FALSE(isUserCSSDocument("body { color: red } /* ==UserStyle== */"));
    const auto reread = readUserCSS(text);
    ASSERT_TRUE(reread);
    EXPECT_EQ(reread->styleData.name, "Everywhere");
    EXPECT_EQ(reread->author, "me");
    EXPECT_EQ(reread->styleData.sections,
              (std::vector<styleSection>{bare("body { color: red }\na { color: blue }")}));
    EXPECT_EQ(asWritten(reread->userVariables), asWritten(style.userVariables));
}

}  // namespace
}  // namespace orlavine
