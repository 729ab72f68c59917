#include "preprocess/code_substitution.h"

#include <gtest/gtest.h>

#include "preprocess/combined_section_text.h"
#include "preprocess_fixture.h"

namespace orlavine {
namespace {

using testing::section;
using testing::styleWith;
using testing::variable;

TEST(Placeholders, EveryOccurrenceIsReplacedExactlyAndInOrder) {
    auto style = styleWith(
        "uso",
        {section({"a.com"}, "a{color:/*[[c]]*/;border-color:/*[[c]]*/;x:/*[[C]]*/;y:/*[[z]]*/}"),
         section({}, "/*[[chain]]*/")},
        {variable("color", "chain", "/*[[c]]*/ and /*[[chain]]*/"), variable("color", "c", "red")});
    style.styleData.compSections = std::vector<styleSection>{section({}, "old")};
    substitutePlaceholders(style);
    EXPECT_EQ(style.styleData.sections[0].compiledcode,
              "a{color:red;border-color:red;x:/*[[C]]*/;y:/*[[z]]*/}");
    // A value holding a later variable's placeholder is replaced in turn; its own is not.
    EXPECT_EQ(style.styleData.sections[1].compiledcode, "red and /*[[chain]]*/");
    EXPECT_EQ(style.styleData.sections[0].code,
              "a{color:/*[[c]]*/;border-color:/*[[c]]*/;x:/*[[C]]*/;y:/*[[z]]*/}");
    EXPECT_FALSE(style.styleData.compSections.has_value());
}

TEST(Placeholders, ValuesThatMultiplyTheCodeStopGrowingAtALimit) {
    std::vector<userVariable> variables;
    const std::string tenFold = [] {
        std::string s;
        for (int i = 0; i < 10; ++i) {
            s += "/*[[v]]*/";
        }
        return s;
    }();
    for (int i = 0; i < 12; ++i) {
        variables.push_back(variable("text", "v", tenFold));
    }
    auto style = styleWith("uso", {section({}, "/*[[v]]*/")}, variables);
    substitutePlaceholders(style);
    EXPECT_LT(style.styleData.sections[0].compiledcode->size(), std::size_t{64} << 20);
}

TEST(RootBlock, EverySectionGetsTheSameBlock) {
    auto style = styleWith("default", {section({"a.com"}, "a{}"), section({}, "b{}")},
                           {variable("color", "bg", "#fff"), variable("text", "font", "Arial")});
    prependRootBlock(style);
    const std::string block = ":root {\n\t--bg: #fff;\n\t--font: Arial;\n}\n";
    EXPECT_EQ(style.styleData.sections[0].compiledcode, block + "a{}");
    EXPECT_EQ(style.styleData.sections[1].compiledcode, block + "b{}");

    auto plain = styleWith("default", {section({}, "b{}")}, {});
    prependRootBlock(plain);
    EXPECT_EQ(plain.styleData.sections[0].compiledcode, "b{}");
}

TEST(CombinedText, SectionsBecomeOneDocument) {
    styleSection rules = section({"a.com", "b.org"}, "x { y: z; }\np { q: r; }");
    rules.urls = {"https://c.net/"};
    rules.urlPrefixes = {"https://d.net/"};
    rules.regexps = {"https?://e\\.com/.*"};
    auto style = styleWith("less", {section({}, "bare1"), section({}, "bare2"), rules}, {});
    EXPECT_EQ(combinedSectionText(style),
              "bare1\nbare2\n\n@-moz-document domain(\"a.com\"), domain(\"b.org\"), "
              "url(\"https://c.net/\"), url-prefix(\"https://d.net/\"), "
              "regexp(\"https?://e\\\\.com/.*\")\n{\n\tx { y: z; }\n\tp { q: r; }\n}");

    auto stylus = styleWith(
        "Stylus", {section({"a.com"}, "a\n  color red"), section({"b.com"}, "b { color: red }")},
        {});
    EXPECT_EQ(combinedSectionText(stylus),
              "@-moz-document domain(\"a.com\")\n\n\ta\n\t  color red\n\n\n"
              "@-moz-document domain(\"b.com\")\n{\n\tb { color: red }\n}");
    EXPECT_EQ(combinedSectionText(styleWith("less", {}, {})), "");
}

}  // namespace
}  // namespace orlavine
