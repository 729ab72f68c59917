#include "library/preference_menus.h"

#include <algorithm>
#include <array>

namespace orlavine {
namespace {

constexpr std::array<std::string_view, 15> kThemeItems = {
    "light", "light", "blue",  "tomorrow", "solarlight", "iplastic", "chrome", "dark",
    "dark",  "dark",  "black", "monokai",  "solar",      "green",    "nord"};
constexpr std::array<std::string_view, 6> kFontItems = {
    "Menlo", "Courier", "Monaco", "Fira Code", "Cascadia Code", "ui-monospace"};
constexpr std::array<std::string_view, 3> kToolbarItems = {"unified", "compact", "expanded"};

template <std::size_t N>
std::size_t itemOf(const std::array<std::string_view, N>& items, std::string_view value,
                   std::size_t otherwise) {
    const auto found = std::find(items.begin(), items.end(), value);
    return found == items.end() ? otherwise : static_cast<std::size_t>(found - items.begin());
}

}  // namespace

std::string themeForMenuItem(std::size_t item) {
    return std::string(item < kThemeItems.size() ? kThemeItems[item] : "light");
}

std::size_t themeMenuItem(std::string_view theme) {
    return itemOf(kThemeItems, theme, 0);
}

std::string fontForMenuItem(std::size_t item) {
    return std::string(item < kFontItems.size() ? kFontItems[item] : "Menlo");
}

std::size_t fontMenuItem(std::string_view font) {
    return itemOf(kFontItems, font, 0);
}

std::vector<std::string> offeredFonts(const std::vector<std::string>& installed,
                                      const std::string& systemMonospace) {
    std::vector<std::string> offered;
    for (const std::string_view font : kFontItems) {
        if (std::find(installed.begin(), installed.end(), font) != installed.end()) {
            offered.emplace_back(font);
        }
    }
    if (std::find(offered.begin(), offered.end(), systemMonospace) == offered.end()) {
        offered.push_back(systemMonospace);
    }
    return offered;
}

std::string toolbarForMenuItem(std::size_t item) {
    return std::string(item < kToolbarItems.size() ? kToolbarItems[item] : "unified");
}

std::size_t toolbarMenuItem(std::string_view style) {
    return itemOf(kToolbarItems, style, 0);
}

}  // namespace orlavine
