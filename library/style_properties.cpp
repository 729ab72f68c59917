#include "library/style_properties.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include "text/text.h"

namespace orlavine {
namespace {

std::optional<double> readDouble(std::string_view s) {
    s = text::trimmed(s);
    if (s.starts_with('+')) {
        s.remove_prefix(1);
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::vector<std::string_view> splitAtCommas(std::string_view s) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= s.size(); ++i) {
        if (i == s.size() || s[i] == ',') {
            parts.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

// "rgb(" or "rgba(" forms: the words, ")" and ";" removed, `count` numbers.
std::optional<Colour> functionColour(std::string_view inner, std::size_t count) {
    std::string cleaned;
    for (const char c : inner) {
        if (c != ')' && c != ';') {
            cleaned += c;
        }
    }
    const std::vector<std::string_view> parts = splitAtCommas(cleaned);
    if (parts.size() != count) {
        return std::nullopt;
    }
    double values[4] = {0, 0, 0, 1};
    for (std::size_t i = 0; i < count; ++i) {
        const auto v = readDouble(parts[i]);
        if (!v) {
            return std::nullopt;
        }
        values[i] = *v;
    }
    return Colour{values[0] / 255, values[1] / 255, values[2] / 255, values[3]};
}

}  // namespace

std::string_view styleTypeLine(const styleContainer& style) {
    if (style.source == "usorg") {
        return "Imported from URL";
    }
    if (style.source == "usercss") {
        return "Imported from User CSS";
    }
    return "Custom Style";
}

std::size_t themeMenuIndex(const std::optional<std::string>& systemTheme) {
    if (systemTheme == "light") {
        return 1;
    }
    if (systemTheme == "dark") {
        return 2;
    }
    return 0;
}

std::string themeForMenuIndex(std::size_t index) {
    return index == 1 ? "light" : index == 2 ? "dark" : "none";
}

std::optional<Colour> parseColour(std::string_view text) {
    const std::string_view t = text::trimmed(text);
    if (t.starts_with('#')) {
        std::string hex;
        for (const char c : t) {
            if (c != '#') {
                hex += c;
            }
        }
        if (hex.size() == 3) {
            hex = {hex[0], hex[0], hex[1], hex[1], hex[2], hex[2]};
        }
        unsigned long value = 0;
        const auto [end, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), value, 16);
        if (hex.empty() || hex.size() > 8 || ec != std::errc() || end != hex.data() + hex.size()) {
            return std::nullopt;
        }
        return Colour{static_cast<double>((value >> 16) & 0xFF) / 255,
                      static_cast<double>((value >> 8) & 0xFF) / 255,
                      static_cast<double>(value & 0xFF) / 255, 1};
    }
    if (t.starts_with("rgba(")) {
        return functionColour(t.substr(5), 4);
    }
    if (t.starts_with("rgb(")) {
        return functionColour(t.substr(4), 3);
    }
    return std::nullopt;
}

std::string numberValueText(double value) {
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string s(buffer, end);
    if (s.find_first_of(".eEn") == std::string::npos) {
        s += ".0";
    }
    return s;
}

std::string colourText(const Colour& c) {
    const auto component = [](double v) {
        return std::to_string(static_cast<int>(std::clamp(v, 0.0, 1.0) * 255));
    };
    return "rgba(" + component(c.red) + "," + component(c.green) + "," + component(c.blue) + "," +
           numberValueText(std::clamp(c.alpha, 0.0, 1.0)) + ")";
}

double alphaFromByte(int alpha) {
    const int a = std::clamp(alpha, 0, 255);
    for (double scale = 10; scale <= 10000; scale *= 10) {
        const double shortest = std::round(a / 255.0 * scale) / scale;
        if (std::lround(shortest * 255) == a) {
            return shortest;
        }
    }
    return a / 255.0;
}

std::string numberLabel(double value, std::string_view units) {
    char buffer[64];
    const bool whole = value == std::floor(value);
    std::snprintf(buffer, sizeof buffer, whole ? "%.0f" : "%.2f", value);
    return std::string(buffer) + std::string(units);
}

std::size_t tickMarkCount(const rangeOpts& range) {
    if (!(range.step > 0) || !(range.max >= range.min)) {
        return 0;
    }
    const double count = (range.max - range.min) / range.step + 1;
    return count > 1e9 ? std::size_t{1'000'000'000} : static_cast<std::size_t>(count);
}

double snapToStep(double value, const rangeOpts& range) {
    double v = std::clamp(value, range.min, std::max(range.min, range.max));
    if (range.step > 0) {
        v = range.min + std::round((v - range.min) / range.step) * range.step;
        v = std::min(v, range.max);
    }
    return v;
}

PropertiesDraft::PropertiesDraft(styleContainer style)
    : style_(std::move(style)), exclusions_(*exclDictionary::fromStyle(style_)) {}

std::size_t PropertiesDraft::addExclusion(const std::string& kind) {
    exclusions_.dictionary.push_back({{"type", kind}, {"rule", ""}});
    return exclusions_.dictionary.size() - 1;
}

void PropertiesDraft::removeExclusion(std::size_t row) {
    if (row < exclusions_.dictionary.size()) {
        exclusions_.dictionary.erase(exclusions_.dictionary.begin() +
                                     static_cast<std::ptrdiff_t>(row));
    }
}

bool PropertiesDraft::setValue(const std::string& name, std::string value) {
    if (!style_.userVariables) {
        return false;
    }
    for (userVariable& v : *style_.userVariables) {
        if (v.name == name) {
            v.currentValue = std::move(value);
            return true;
        }
    }
    return false;
}

void PropertiesDraft::resetVariables() {
    if (style_.userVariables) {
        for (userVariable& v : *style_.userVariables) {
            v.currentValue = v.defaultValue;
        }
    }
}

styleContainer PropertiesDraft::edited() const {
    exclDictionary rows = exclusions_;
    std::erase_if(rows.dictionary, [](const RuleRow& row) {
        const auto rule = row.find("rule");
        return rule == row.end() || text::trimmed(rule->second).empty();
    });
    return rows.applyTo(style_);
}

}  // namespace orlavine
