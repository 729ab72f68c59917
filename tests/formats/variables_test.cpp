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

variableOption option(const std::string& name, const std::string& label, const std::string& value) {
    return variableOption{name, label, value};
}

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
    EXPECT_EQ(color.defaultValue, "#ffffff");
    EXPECT_EQ(color.currentValue, "#ffffff");  // a fresh variable holds its default
    EXPECT_FALSE(color.selectOptions || color.rangeOptions);

    // Runs of spaces, TABs and CRs read like one space.
    const userVariable bold = read("checkbox \t bold\r'Bold text'  1");
    EXPECT_EQ(bold.name, "bold");
    EXPECT_EQ(bold.label, "Bold text");
    EXPECT_EQ(bold.defaultValue, "1");

    // One pair of matching outer quotes comes off; backslash-slash becomes "/".
    EXPECT_EQ(read("text url \"Address\" \"https:\\/\\/a.example/x\"").defaultValue,
              "https://a.example/x");
    EXPECT_EQ(read("text q 'Q' \"'Arial'\"").defaultValue, "'Arial'");
    EXPECT_EQ(read("text q 'Q' 'Segoe UI', sans-serif").defaultValue, "'Segoe UI', sans-serif");
    EXPECT_EQ(read("text empty 'Empty'").defaultValue, "");
    // An unquoted label is one word.
    const userVariable unquoted = read("text greeting Greeting Hello there");
    EXPECT_EQ(unquoted.label, "Greeting");
    EXPECT_EQ(unquoted.defaultValue, "Hello there");
    // Labels and values may be any text.
    const userVariable unicode = read("text t \"Überschrift ✓\" «Grüße»");
    EXPECT_EQ(unicode.label, "Überschrift ✓");
    EXPECT_EQ(unicode.defaultValue, "«Grüße»");
}

TEST(Variables, GluedQuotesAreSeparated) {
    const userVariable glued = read("text name'Label' value");
    EXPECT_EQ(glued.name, "name");
    EXPECT_EQ(glued.label, "Label");
    EXPECT_EQ(glued.defaultValue, "value");
    const userVariable list = read("select s \"S\"{\"a\": \"1\"}");
    ASSERT_TRUE(list.selectOptions);
    EXPECT_EQ(*list.selectOptions, std::vector<variableOption>{option("a", "a", "1")});
}

TEST(Variables, SelectObjectFormAndTheDefaultMark) {
    const userVariable theme =
        read("select theme 'Theme' {'dark:Dark': '#000', 'light*:Light': '#fff'}");
    EXPECT_EQ(theme.type, "select");
    EXPECT_EQ(*theme.selectOptions,
              (std::vector<variableOption>{option("dark", "Dark", "#000"),
                                           option("light*", "Light", "#fff")}));
    EXPECT_EQ(theme.defaultValue, "1");
    EXPECT_EQ(theme.currentValue, "1");

    // A mark after the label is no mark.
    EXPECT_EQ(
        read("select theme 'Theme' {'dark:Dark': '#000', 'light:Light*': '#fff'}").defaultValue,
        "0");
    // Without a colon the key is both name and label, mark included.
    EXPECT_EQ(*read("select s 'S' {\"a*\": \"x\"}").selectOptions,
              std::vector<variableOption>{option("a*", "a*", "x")});

    // Commas inside quotes, escaped quotes and escaped slashes.
    const userVariable fonts = read(
        "select font \"Font\" {\n \"sans:Sans\": \"Helvetica, Arial\",\n \"q:Quoted\": `say "
        "\\\"hi\\\", ok`,\n"
        " \"u:Url\": 'https:\\/\\/a.example\\/'\n}");
    EXPECT_EQ(*fonts.selectOptions,
              (std::vector<variableOption>{option("sans", "Sans", "Helvetica, Arial"),
                                           option("q", "Quoted", "say \"hi\", ok"),
                                           option("u", "Url", "https://a.example/")}));
    // An unbalanced quote leaves the rest of the list in one entry.
    EXPECT_EQ(read("select s 'S' {\"a\": \"it's\", \"b\": \"x\"}").selectOptions->size(), 1u);
}

TEST(Variables, ArrayForms) {
    const userVariable density = read("select d 'Density' [compact:Compact, 'cozy*:Cozy', roomy]");
    EXPECT_EQ(*density.selectOptions,
              (std::vector<variableOption>{option("compact", "Compact", "compact"),
                                           option("cozy*", "Cozy", "cozy*"),
                                           option("roomy", "roomy", "roomy")}));
    EXPECT_EQ(density.defaultValue, "1");

    const userVariable size = read("range size 'Size' [12, 8, 32, 2, 'px']");
    EXPECT_EQ(size.defaultValue, "12");
    EXPECT_EQ(size.rangeOptions, range(8, 32, 2, "px"));

    // Fallback bounds: unbounded numbers, 0 to 100 for ranges.
    EXPECT_EQ(read("number n 'N' [5]").rangeOptions, range(kLowest, kHighest, 1));
    EXPECT_EQ(read("range r 'R' [5]").rangeOptions, range(0, 100, 1));
    // An unreadable bound gives 0, 100 or 1; "null" keeps the type's fallback.
    EXPECT_EQ(read("number n 'N' [5, nope, 10, 2]").rangeOptions, range(0, 10, 2));
    EXPECT_EQ(read("number n 'N' [5, null, 10, 2]").rangeOptions, range(kLowest, 10, 2));
    EXPECT_EQ(read("number n 'N' [5, null, null, 0.25, 'em']").rangeOptions,
              range(kLowest, kHighest, 0.25, "em"));
    EXPECT_EQ(read("range r 'R' [5, x, y, z]").rangeOptions, range(0, 100, 1));
    // Quoted entries are the units and are not counted.
    EXPECT_EQ(read("range r 'R' [10, 'px', 0, 20]").rangeOptions, range(0, 20, 1, "px"));
    // The bounds widen to take in the default; the default itself stays.
    const userVariable wide = read("range r 'R' [150, 0, 100]");
    EXPECT_EQ(wide.defaultValue, "150");
    EXPECT_EQ(wide.rangeOptions, range(0, 150, 1));
    EXPECT_EQ(read("number n 'N' [-3.5, 0, 10, 0.5]").rangeOptions, range(-3.5, 10, 0.5));
    // Without brackets nothing widens.
    const userVariable plain = read("range r 'R' 150");
    EXPECT_EQ(plain.defaultValue, "150");
    EXPECT_EQ(plain.rangeOptions, range(0, 100, 1));
}

TEST(Variables, HereDocumentDropdown) {
    const userVariable font = read(
        "dropdown font \"Font\" {\n"
        "  sans \"Sans serif\" <<<EOT\n    font-family: \"Inter\", sans-serif; EOT;\n"
        "  path \"Path\" <<<EOT background: url(a\\/b.png); EOT;\n"
        "  broken <<<EOT no label EOT;\n"
        "}");
    EXPECT_EQ(font.type, "dropdown");
    EXPECT_EQ(*font.selectOptions,
              (std::vector<variableOption>{
                  option("sans", "Sans serif", "font-family: \"Inter\", sans-serif;"),
                  option("path", "Path", "background: url(a/b.png);")}));
    EXPECT_EQ(font.defaultValue, "0");
}

TEST(Variables, ImageDeclarationsKeepTheirOptions) {
    const userVariable image = read("image bg 'Background' {'paper:Paper': 'paper.png'}");
    EXPECT_EQ(image.type, "image");
    EXPECT_EQ(*image.selectOptions,
              std::vector<variableOption>{option("paper", "Paper", "paper.png")});
    // Unlike a select, an image without options is still a variable.
    EXPECT_TRUE(parseVariableDeclaration("image bg 'Background' none"));
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
