// The layout of exported UserCSS documents.

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "document_fixtures.h"
#include "formats/usercss_reader.h"
#include "formats/usercss_writer.h"

namespace orlavine {
namespace {

using testing::bare;
using testing::section;

constexpr double kLowest = std::numeric_limits<double>::lowest();
constexpr double kHighest = std::numeric_limits<double>::max();

styleContainer named(const std::string& name) {
    styleContainer s;
    s.styleData.name = name;
    return s;
}

userVariable variable(std::string type, std::string name, std::string label, std::string value) {
    userVariable v;
    v.type = std::move(type);
    v.name = std::move(name);
    v.label = std::move(label);
    v.defaultValue = std::move(value);
    return v;
}

// The @var lines of a style holding only `v`.
std::string declaration(const userVariable& v) {
    styleContainer s = named("N");
    s.userVariables = std::vector<userVariable>{v};
    const std::string text = writeUserCSS(s);
    const std::size_t start = text.find("@var ");
    return text.substr(start, text.find("==/UserStyle==") - start);
}

TEST(Writer, MetadataLinesInTheirOrderWithTheirTabs) {
    styleContainer s = named("Only a name");
    s.homepageURL = "https://h.example/";  // never written
    s.supportURL = "https://s.example/";
    s.author = "  ";  // blank: left out
    s.styleData.sections = {
        section({.domains = {"a.example"}, .urls = {"https://b.example/"}}, "p{}")};
    EXPECT_EQ(writeUserCSS(s),
              "/* ==UserStyle==\n@name\t\t\tOnly a name\n==/UserStyle== */\n\n"
              "@-moz-document domain(\"a.example\"), url(\"https://b.example/\")\n{\n\tp{}\n}");

    styleContainer full = named("Full");
    full.author = "Ana";
    full.description = " two\nlines";
    full.version = "1.2";
    full.namespace_ = "ns";
    full.license = "MIT";
    full.preprocessor = " ";
    full.updateURL = "https://u.example/x.user.css";
    EXPECT_EQ(writeUserCSS(full),
              "/* ==UserStyle==\n@name\t\t\tFull\n@author\t\t\tAna\n@description\t two\nlines\n"
              "@version\t\t1.2\n@namespace\t\tns\n@license\t\tMIT\n@preprocessor\t \n"
              "@updateURL\t\thttps://u.example/x.user.css\n==/UserStyle== */\n\n");

    // A line break in a value must not start a line that reads back as another key.
    full.description = "first\r\n@version 9\nsecond";
    full.styleData.sections = {section({.domains = {"a.example"}}, "p{}")};
    const auto reread = readUserCSS(writeUserCSS(full));
    ASSERT_TRUE(reread.has_value());
    EXPECT_EQ(reread->version, "1.2");
    EXPECT_EQ(reread->description, "first @version 9\nsecond");
    EXPECT_EQ(reread->styleData.sections.size(), 1u);
}

TEST(Writer, SectionsRulesAndSeparators) {
    styleContainer s = named("S");
    s.styleData.sections = {
        bare("a{}"),
        bare("b{}"),
        section({.domains = {"d"},
                 .urls = {"u"},
                 .urlPrefixes = {"p1", "p2"},
                 .regexps = {"https?://x\\.example/.*"}},
                "c {\n\td: e;\n}"),
        bare("f{}"),
    };
    s.styleData.sections[2].compiledcode = "never written";
    EXPECT_EQ(writeUserCSS(s),
              "/* ==UserStyle==\n@name\t\t\tS\n==/UserStyle== */\n\n"
              "a{}\nb{}\n\n"
              "@-moz-document domain(\"d\"), url(\"u\"), url-prefix(\"p1\"), url-prefix(\"p2\"), "
              "regexp(\"https?://x\\\\.example/.*\")\n{\n\tc {\n\t\td: e;\n\t}\n}\nf{}");

    // Stylus code without braces is written indented, without braces.
    s.preprocessor = "Stylus";
    s.styleData.sections = {section({.domains = {"d"}}, "a\n\tb c"),
                            section({.domains = {"e"}}, "x { y: z }")};
    const std::string text = writeUserCSS(s);
    EXPECT_NE(text.find("@-moz-document domain(\"d\")\n\n\ta\n\t\tb c\n\n\n@-moz-document "
                        "domain(\"e\")\n{\n\tx { y: z }\n}"),
              std::string::npos)
        << text;
}

TEST(Writer, VariableDeclarations) {
    userVariable range = variable("range", "r", "R", "5");
    range.rangeOptions = rangeOpts{0, 100, 1, std::nullopt};
    EXPECT_EQ(declaration(range), "@var range r \"R\" [5]\n");
    range.rangeOptions->units = "px";
    EXPECT_EQ(declaration(range), "@var range r \"R\" [5, 0.0, 100.0, 1.0, 'px']\n");

    userVariable number = variable("number", "n", "N", "3");
    number.rangeOptions = rangeOpts{kLowest, kHighest, 1, std::nullopt};
    EXPECT_EQ(declaration(number), "@var number n \"N\" [3]\n");
    number.rangeOptions->max = 10;
    EXPECT_EQ(declaration(number), "@var number n \"N\" [3, null, 10.0, 1.0]\n");
    number.rangeOptions = rangeOpts{-0.25, 1e20, 0.1, std::nullopt};
    EXPECT_EQ(declaration(number), "@var number n \"N\" [3, -0.25, 1e+20, 0.1]\n");
    number.rangeOptions = rangeOpts{100000, 123456.5, 1e-7, std::nullopt};
    EXPECT_EQ(declaration(number), "@var number n \"N\" [3, 100000.0, 123456.5, 1e-07]\n");

    userVariable dropdown = variable("dropdown", "font", "Font", "0");
    dropdown.selectOptions = std::vector<variableOption>{
        {"sans", "Sans", "font-family: \"Inter\", sans-serif; /* a\\b */"},
        {"mono", "mono", "it's `code`"}};
    EXPECT_EQ(declaration(dropdown),
              "@var select font \"Font\" {\n"
              "\"sans:Sans\": `font-family: \\\"Inter\\\", sans-serif; \\/* a\\\\b *\\/`,\n"
              "\"mono\": `it\\'s \\`code\\``\n}\n");

    EXPECT_EQ(declaration(variable("color", "c", "Colour", "#fff")),
              "@var color c \"Colour\" #fff\n");
    EXPECT_EQ(declaration(variable("checkbox", "b", "B", "1")), "@var checkbox b \"B\" 1\n");
    EXPECT_EQ(declaration(variable("text", "t", "T", "plain words")),
              "@var text t \"T\" plain words\n");
    // Text the reader would change when bare is written in double quotes.
    EXPECT_EQ(declaration(variable("text", "t", "T", "https://a.example/")),
              "@var text t \"T\" \"https://a.example/\"\n");
    EXPECT_EQ(declaration(variable("text", "t", "T", "'Arial'")),
              "@var text t \"T\" \"'Arial'\"\n");
    // A choice variable without options still ends its line.
    EXPECT_EQ(declaration(variable("image", "i", "I", "0")), "@var select i \"I\" \n");
}

}  // namespace
}  // namespace orlavine
