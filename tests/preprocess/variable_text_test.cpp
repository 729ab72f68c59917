#include "preprocess/variable_text.h"

#include <gtest/gtest.h>

#include "preprocess_fixture.h"

namespace orlavine {
namespace {

using testing::variable;

userVariable choice(std::string type, std::optional<std::string> current,
                    std::vector<std::optional<std::string>> values) {
    userVariable v = variable(std::move(type), "c", "");
    v.currentValue = std::move(current);
    v.defaultValue = "1";
    v.selectOptions.emplace();
    for (auto& value : values) {
        v.selectOptions->push_back(variableOption{"n", "l", std::move(value)});
    }
    return v;
}

TEST(VariableText, ChoicesGiveTheChosenOptionWithoutOneTrailingStar) {
    const std::vector<std::optional<std::string>> values = {"#000*", "#fff", "**", "*",
                                                            std::nullopt};
    EXPECT_EQ(variableValueText(choice("select", "0", values), ValueTarget::sectionCode), "#000");
    EXPECT_EQ(variableValueText(choice("select", "1", values), ValueTarget::sectionCode), "#fff");
    EXPECT_EQ(variableValueText(choice("dropdown", "2", values), ValueTarget::sectionCode), "*");
    EXPECT_EQ(variableValueText(choice("image", "3", values), ValueTarget::sectionCode), "");
    EXPECT_EQ(variableValueText(choice("select", "4", values), ValueTarget::sectionCode), "");
    EXPECT_EQ(variableValueText(choice("select", "4", values), ValueTarget::definitionBlock),
              "null");
    // "Select" is not a choice type: its value is used verbatim.
    EXPECT_EQ(variableValueText(choice("Select", "0", values), ValueTarget::sectionCode), "0");
}

TEST(VariableText, UnresolvableChoicesFallBackToTheDefaultOption) {
    const std::vector<std::optional<std::string>> values = {"first", "second"};
    for (std::optional<std::string> bad : {std::optional<std::string>{},
                                           {"7"},
                                           {"-1"},
                                           {"x"},
                                           {"1x"},
                                           {""},
                                           {"99999999999999999999999"}}) {
        EXPECT_EQ(variableValueText(choice("select", bad, values), ValueTarget::sectionCode),
                  "second");
    }
    auto noDefault = choice("select", "9", values);
    noDefault.defaultValue = "nope";
    EXPECT_EQ(variableValueText(noDefault, ValueTarget::definitionBlock), "first");
    auto empty = choice("select", "0", {});
    EXPECT_EQ(variableValueText(empty, ValueTarget::definitionBlock), "null");
}

TEST(VariableText, NumbersCarryTheirUnitsAndAbsentValuesFallBack) {
    auto range = variable("range", "r", "50");
    range.rangeOptions = rangeOpts{0, 100, 1, "%"};
    EXPECT_EQ(variableValueText(range, ValueTarget::definitionBlock), "50%");
    range.currentValue.reset();
    range.defaultValue = "12";
    EXPECT_EQ(variableValueText(range, ValueTarget::definitionBlock), "12%");

    auto number = variable("number", "n", "3");
    number.rangeOptions = rangeOpts{0, 10, 1, std::nullopt};
    EXPECT_EQ(variableValueText(number, ValueTarget::sectionCode), "3");

    auto text = variable("text", "t", "x");
    text.currentValue.reset();
    text.defaultValue = "fallback";
    EXPECT_EQ(variableValueText(text, ValueTarget::definitionBlock), "null");
    EXPECT_EQ(variableValueText(text, ValueTarget::sectionCode), "fallback");
    EXPECT_EQ(variableValueText(variable("checkbox", "b", "1"), ValueTarget::sectionCode), "1");
}

TEST(VariableText, DefinitionBlocks) {
    auto style = testing::styleWith(
        "less", {}, {variable("color", "accent", "#f00"), variable("text", "font", "Arial")});
    EXPECT_EQ(lessDefinitionBlock(style), "@accent: #f00;\n@font: Arial;\n");
    EXPECT_EQ(stylusDefinitionBlock(style), "accent = #f00;\nfont = Arial;\n");
    style.userVariables->clear();
    EXPECT_EQ(lessDefinitionBlock(style), "");
}

}  // namespace
}  // namespace orlavine
