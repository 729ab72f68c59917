// Reading @var and @advanced declarations.

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "formats/variable_declaration_reader.h"

namespace orlavine {
namespace {

constexpr double kLowest = std::numeric_limits<double>::lowest();
constexpr double kHighest = std::numeric_limits<double>::max();

class RecordingConsole : public Reporter {
  public:
    void consoleLine(std::string_view line) override { lines.emplace_back(line); }
    void showAlert(std::string_view, std::string_view) override {}
    std::vector<std::string> lines;
};

using Options = std::vector<variableOption>;

rangeOpts range(double min, double max, double step, std::optional<std::string> units = {}) {
    return rangeOpts{min, max, step, std::move(units)};
}

userVariable read(const std::string& declaration) {
    auto v = parseVariableDeclaration(declaration);
    EXPECT_TRUE(v) << declaration;
    return v.value_or(userVariable{});
}

TEST(Variables, PlainValues) {
    const userVariable color = read("color bg 'Background' #ffffff");
    EXPECT_EQ(color.type, "color");
    EXPECT_EQ(color.name, "bg");
    EXPECT_EQ(color.label, "Background");
    EXPECT_EQ(color.currentValue, "#ffffff");  // a fresh variable holds its default
    EXPECT_FALSE(color.selectOptions || color.rangeOptions);

    const struct {
        const char* declaration;
        const char* label;
        const char* value;
    } cases[] = {
        // Runs of spaces, TABs and CRs read like one space.
        {"checkbox \t bold\r'Bold text'  1", "Bold text", "1"},
        // One pair of matching outer quotes comes off; backslash-slash becomes "/".
        {"text url \"Address\" \"https:\\/\\/a.example/x\"", "Address", "https://a.example/x"},
        {"text q 'Q' \"'Arial'\"", "Q", "'Arial'"},
        {"text q 'Q' 'Segoe UI', sans-serif", "Q", "'Segoe UI', sans-serif"},
        {"text empty 'Empty'", "Empty", ""},
        // An unquoted label is one word; labels and values may be any text.
        {"text greeting Greeting Hello there", "Greeting", "Hello there"},
        {"text t \"Überschrift ✓\" «Grüße»", "Überschrift ✓", "«Grüße»"},
        // A label glued to the name gets its space.
        {"text name'Label' value", "Label", "value"},
    };
    for (const auto& c : cases) {
        const userVariable v = read(c.declaration);
        EXPECT_EQ(v.label, c.label) << c.declaration;
        EXPECT_EQ(v.defaultValue, c.value) << c.declaration;
    }
}

TEST(Variables, ChoiceListsAndTheDefaultMark) {
    const struct {
        const char* declaration;
        Options options;
        const char* defaultValue;
    } cases[] = {
        {"select theme 'Theme' {'dark:Dark': '#000', 'light*:Light': '#fff'}",
         {{"dark", "Dark", "#000"}, {"light*", "Light", "#fff"}},
         "1"},
        // A mark after the label is no mark.
        {"select theme 'Theme' {'dark:Dark': '#000', 'light:Light*': '#fff'}",
         {{"dark", "Dark", "#000"}, {"light", "Light*", "#fff"}},
         "0"},
        // Without a colon the key is both name and label, mark included; a list glued to the
        // label is separated.
        {"select s \"S\"{\"a*\": \"x\"}", {{"a*", "a*", "x"}}, "0"},
        // Commas inside quotes, escaped quotes and escaped slashes.
        {"select font \"Font\" {\n \"sans:Sans\": \"Helvetica, Arial\",\n \"q:Quoted\": `say "
         "\\\"hi\\\", ok`,\n \"u:Url\": 'https:\\/\\/a.example\\/'\n}",
         {{"sans", "Sans", "Helvetica, Arial"},
          {"q", "Quoted", "say \"hi\", ok"},
          {"u", "Url", "https://a.example/"}},
         "0"},
        // An apostrophe inside double quotes, or inside a bare word, ends nothing.
        {"select s 'S' {\"a\": \"it's\", \"b:Don't\": \"x\"}",
         {{"a", "a", "it's"}, {"b", "Don't", "x"}},
         "0"},
        {"select s 'S' [a:It's, b]", {{"a", "It's", "a"}, {"b", "b", "b"}}, "0"},
        {"select d 'Density' [compact:Compact, 'cozy*:Cozy', roomy]",
         {{"compact", "Compact", "compact"},
          {"cozy*", "Cozy", "cozy*"},
          {"roomy", "roomy", "roomy"}},
         "1"},
        {"dropdown font \"Font\" {\n"
         "  sans \"Sans serif\" <<<EOT\n    font-family: \"Inter\", sans-serif; EOT;\n"
         "  path \"Path\" <<<EOT background: url(a\\/b.png); EOT;\n"
         "  broken <<<EOT no label EOT;\n}",
         {{"sans", "Sans serif", "font-family: \"Inter\", sans-serif;"},
          {"path", "Path", "background: url(a/b.png);"}},
         "0"},
        {"image bg 'Background' {'paper:Paper': 'paper.png'}",
         {{"paper", "Paper", "paper.png"}},
         "0"},
        // Unlike a select, an image without options is still a variable.
        {"image bg 'Background' none", {}, "0"},
    };
    for (const auto& c : cases) {
        const userVariable v = read(c.declaration);
        EXPECT_EQ(v.selectOptions, c.options) << c.declaration;
        EXPECT_EQ(v.defaultValue, c.defaultValue) << c.declaration;
        EXPECT_EQ(v.currentValue, c.defaultValue) << c.declaration;
    }
}

TEST(Variables, NumberListsAndTheirBounds) {
    const struct {
        const char* declaration;
        const char* defaultValue;
        rangeOpts bounds;
    } cases[] = {
        {"range size 'Size' [12, 8, 32, 2, 'px']", "12", range(8, 32, 2, "px")},
        // Fallback bounds: unbounded numbers, 0 to 100 for ranges.
        {"number n 'N' [5]", "5", range(kLowest, kHighest, 1)},
        {"range r 'R' [5]", "5", range(0, 100, 1)},
        // An unreadable bound gives 0, 100 or 1; "null" keeps the type's fallback.
        {"number n 'N' [5, nope, 10, 2]", "5", range(0, 10, 2)},
        {"number n 'N' [5, null, 10, 2]", "5", range(kLowest, 10, 2)},
        {"number n 'N' [5, null, null, 0.25, 'em']", "5", range(kLowest, kHighest, 0.25, "em")},
        {"range r 'R' [5, x, y, z]", "5", range(0, 100, 1)},
        // Quoted entries are the units and are not counted.
        {"range r 'R' [10, 'px', 0, 20]", "10", range(0, 20, 1, "px")},
        // The bounds widen to take in the default, but not without brackets.
        {"range r 'R' [150, 0, 100]", "150", range(0, 150, 1)},
        {"number n 'N' [-3.5, 0, 10, 0.5]", "-3.5", range(-3.5, 10, 0.5)},
        {"range r 'R' 150", "150", range(0, 100, 1)},
    };
    for (const auto& c : cases) {
        const userVariable v = read(c.declaration);
        EXPECT_EQ(v.defaultValue, c.defaultValue) << c.declaration;
        EXPECT_EQ(v.rangeOptions, c.bounds) << c.declaration;
    }
}

TEST(Variables, RejectedDeclarations) {
    RecordingConsole console;
    EXPECT_FALSE(parseVariableDeclaration("slider x 'X' 1", &console));
    EXPECT_FALSE(parseVariableDeclaration("Color x 'X' 1", &console));
    EXPECT_EQ(console.lines,
              (std::vector<std::string>{"Invalid variable type.", "Invalid variable type."}));

    for (const char* bad :
         {"", "   ", "color", "color bg", "text x Label", "text x 'Label",
          "select theme 'Theme' {}", "select theme 'Theme' red", "dropdown d 'D' {<<<EOT EOT;}"}) {
        EXPECT_FALSE(parseVariableDeclaration(bad, &console)) << bad;
    }
    EXPECT_EQ(console.lines.size(), 2u);  // only a wrong type is reported
}

}  // namespace
}  // namespace orlavine
