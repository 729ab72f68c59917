#pragma once
// What the properties panel shows and writes, without the window: the type line, the theme
// menu, colours read from and written as text, the number forms of sliders and steppers, and
// the working copy with its exclusion rows, reset and save.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "model/records.h"
#include "model/rule_rows.h"

namespace orlavine {

inline constexpr const char* kResetVariablesQuestion =
    "Are you sure you want to set all variables for this style to their default values?";
inline constexpr const char* kResetVariablesText = "This action cannot be undone.";

// "Imported from URL", "Imported from User CSS" or "Custom Style".
std::string_view styleTypeLine(const styleContainer& style);
// "none" (or absent), "light", "dark" are items 0, 1, 2 of the theme menu.
std::size_t themeMenuIndex(const std::optional<std::string>& systemTheme);
std::string themeForMenuIndex(std::size_t index);

// A colour with components from 0 to 1.
struct Colour {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    bool operator==(const Colour&) const = default;
};
// "#rgb", "#rrggbb", "rgb(r, g, b)" or "rgba(r, g, b, a)" (components 0-255, alpha 0-1);
// nothing for any other text.
std::optional<Colour> parseColour(std::string_view text);
// "rgba(R,G,B,A)": components times 255 cut to whole numbers, alpha as its shortest decimal
// ("1.0", "0.5"); no blanks.
std::string colourText(const Colour& colour);
// The shortest decimal that a colour panel's 8-bit alpha stands for: 128 -> 0.5, 255 -> 1.
double alphaFromByte(int alpha);

// The shortest decimal text of a number, always with a fraction part ("12.0", "2.5").
std::string numberValueText(double value);
// A slider's or stepper's label: two decimals, or none when whole, then the units.
std::string numberLabel(double value, std::string_view units);
// How many tick marks a slider of these bounds has, and whether they are drawn (under 31).
std::size_t tickMarkCount(const rangeOpts& range);
inline bool drawsTickMarks(const rangeOpts& range) {
    return tickMarkCount(range) < 31;
}
// `value` moved to the nearest step of the range, within its bounds.
double snapToStep(double value, const rangeOpts& range);

// The panel's working copy of one style: edits stay here until save.
class PropertiesDraft {
  public:
    explicit PropertiesDraft(styleContainer style);

    const styleContainer& style() const { return style_; }
    exclDictionary& exclusions() { return exclusions_; }
    const exclDictionary& exclusions() const { return exclusions_; }

    void setAllowFrames(bool on) { style_.allowIframe = on; }
    void setThemeIndex(std::size_t index) { style_.systemTheme = themeForMenuIndex(index); }
    // Adds an exclusion row of `kind` ("Domain", "URL is", ...) at the end; returns its row.
    std::size_t addExclusion(const std::string& kind);
    void removeExclusion(std::size_t row);

    // Sets a variable's value as its control writes it; false for an unknown name.
    bool setValue(const std::string& name, std::string value);
    // Every variable back to its default.
    void resetVariables();

    // The style with the panel's fields, to hand to StyleStore::updateProperties. Exclusion
    // rows left blank are dropped: an empty rule would exclude more than anyone meant.
    styleContainer edited() const;

  private:
    styleContainer style_;
    exclDictionary exclusions_;
};

}  // namespace orlavine
