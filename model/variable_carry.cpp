#include "model/variable_carry.h"

#include <charconv>
#include <optional>
#include <string_view>

namespace orlavine {
namespace {

bool isPlainType(std::string_view type) {
    return type == "text" || type == "color" || type == "checkbox" || type == "range" ||
           type == "number";
}

bool isChoiceType(std::string_view type) {
    return type == "dropdown" || type == "select" || type == "image";
}

std::optional<std::size_t> parseIndex(const std::string& text, std::size_t count) {
    std::size_t index = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, index);
    if (text.empty() || ec != std::errc() || ptr != end || index >= count) {
        return std::nullopt;
    }
    return index;
}

template <class Field>
std::optional<std::size_t> findOption(const std::vector<variableOption>& options,
                                      const variableOption& wanted, Field field) {
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (options[i].*field == wanted.*field) {
            return i;
        }
    }
    return std::nullopt;
}

enum class Carry { done, goOn };

// Carries a choice; `done` ends the search for this old variable.
Carry carryChoice(const userVariable& old, userVariable& target) {
    if (!old.currentValue || !old.selectOptions || !target.selectOptions) {
        return Carry::goOn;
    }
    const auto oldIndex = parseIndex(*old.currentValue, old.selectOptions->size());
    if (!oldIndex) {
        return Carry::goOn;
    }
    const variableOption& chosen = (*old.selectOptions)[*oldIndex];
    const auto& options = *target.selectOptions;
    if (auto i = findOption(options, chosen, &variableOption::value)) {
        target.currentValue = std::to_string(*i);
        return Carry::done;
    }
    if (auto i = findOption(options, chosen, &variableOption::label)) {
        target.currentValue = std::to_string(*i);
        return Carry::done;
    }
    if (auto i = findOption(options, chosen, &variableOption::name)) {
        target.currentValue = std::to_string(*i);
    }
    return Carry::goOn;
}

}  // namespace

styleContainer carryOverVariableValues(const styleContainer& old, styleContainer newVersion) {
    if (!old.userVariables || !newVersion.userVariables) {
        return newVersion;
    }
    for (const userVariable& oldVar : *old.userVariables) {
        for (userVariable& candidate : *newVersion.userVariables) {
            const bool sameName = candidate.label == oldVar.label || candidate.name == oldVar.name;
            if (!sameName || candidate.type != oldVar.type) {
                continue;
            }
            if (isPlainType(oldVar.type)) {
                candidate.currentValue = oldVar.currentValue;
                break;
            }
            if (isChoiceType(oldVar.type) && carryChoice(oldVar, candidate) == Carry::done) {
                break;
            }
        }
    }
    return newVersion;
}

}  // namespace orlavine
