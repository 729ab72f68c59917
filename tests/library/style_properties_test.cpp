// What the properties panel reads and writes: colours, number forms, tick marks, the theme
// menu and the working copy.

#include <gtest/gtest.h>

#include "library/style_properties.h"

namespace orlavine {
namespace {

TEST(StyleProperties, ColoursAndNumbersReadAndWriteAsThePanelDoes) {
    struct ColourCase {
        const char* text;
        std::optional<Colour> colour;
    };
    const ColourCase colours[] = {
        {" #fff ", Colour{1, 1, 1, 1}},
        {"#336699", Colour{0x33 / 255.0, 0x66 / 255.0, 0x99 / 255.0, 1}},
        {"rgb(255, 0, 51)", Colour{1, 0, 51 / 255.0, 1}},
        {"rgba(0,0,0,0.5);", Colour{0, 0, 0, 0.5}},
        {"rgba(0,0,0)", std::nullopt},
        {"rgb(1,2,x)", std::nullopt},
        {"#ggg", std::nullopt},
        {"red", std::nullopt},
    };
    for (const ColourCase& c : colours) {
        EXPECT_EQ(parseColour(c.text), c.colour) << c.text;
    }
    EXPECT_EQ(colourText({1, 0.5, 0, 0.5}), "rgba(255,127,0,0.5)");
    EXPECT_EQ(colourText({0, 0, 0, 1}), "rgba(0,0,0,1.0)");

    EXPECT_EQ(numberValueText(12), "12.0");
    EXPECT_EQ(numberValueText(2.5), "2.5");
    EXPECT_EQ(numberLabel(5, "px"), "5px");
    EXPECT_EQ(numberLabel(2.5, "em"), "2.50em");

    const rangeOpts thirty{0, 29, 1, std::nullopt};
    const rangeOpts many{0, 30, 1, std::nullopt};
    EXPECT_TRUE(drawsTickMarks(thirty));
    EXPECT_FALSE(drawsTickMarks(many));
    EXPECT_EQ(snapToStep(7.3, {0, 10, 0.5, std::nullopt}), 7.5);
    EXPECT_EQ(snapToStep(99, many), 30);
    EXPECT_EQ(tickMarkCount({0, 10, 0, std::nullopt}), 0u);
}

TEST(StyleProperties, TheWorkingCopyKeepsEditsUntilSaveAndDropsBlankRows) {
    styleContainer style;
    style.source = "usercss";
    style.exclDomain = std::vector<std::string>{"a.org"};
    style.userVariables = std::vector<userVariable>{
        {"color", "fg", "Text", "#eee", std::nullopt, std::nullopt, "#000"}};
    PropertiesDraft draft(style);
    EXPECT_EQ(styleTypeLine(draft.style()), "Imported from User CSS");
    EXPECT_EQ(themeMenuIndex(std::nullopt), 0u);
    draft.setThemeIndex(2);
    draft.setAllowFrames(true);
    draft.addExclusion(kRowRegExp);  // left blank
    const std::size_t row = draft.addExclusion(kRowPrefix);
    draft.exclusions().dictionary[row]["rule"] = "https://b.org/";
    draft.removeExclusion(0);
    draft.resetVariables();
    EXPECT_FALSE(draft.setValue("nope", "1"));

    const styleContainer edited = draft.edited();
    EXPECT_EQ(edited.systemTheme, "dark");
    EXPECT_EQ(edited.allowIframe, true);
    EXPECT_FALSE(edited.exclDomain.has_value());
    EXPECT_FALSE(edited.exclRegExp.has_value());
    EXPECT_EQ(edited.exclPrefix, (std::vector<std::string>{"https://b.org/"}));
    EXPECT_EQ(edited.userVariables->at(0).currentValue, "#eee");
    EXPECT_EQ(style.exclDomain->size(), 1u);  // the stored style is untouched
}

}  // namespace
}  // namespace orlavine
