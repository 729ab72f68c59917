#include "preprocess/variable_text.h"

#include <charconv>
#include <optional>

namespace orlavine {
namespace {

bool isChoice(const userVariable& variable) {
    return (variable.type == "dropdown" || variable.type == "select" || variable.type == "image") &&
           variable.selectOptions.has_value();
}

std::optional<std::size_t> optionIndex(const std::optional<std::string>& text, std::size_t count) {
    if (!text || text->empty()) {
        return std::nullopt;
    }
    long long index = 0;
    const char* end = text->data() + text->size();
    auto [stop, error] = std::from_chars(text->data(), end, index, 10);
    if (error != std::errc() || stop != end || index < 0 ||
        static_cast<unsigned long long>(index) >= count) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(index);
}

std::string choiceText(const userVariable& variable, std::string_view absent) {
    const auto& options = *variable.selectOptions;
    auto index = optionIndex(variable.currentValue, options.size());
    if (!index) {
        index = optionIndex(variable.defaultValue, options.size());
    }
    if (!index && !options.empty()) {
        index = 0;
    }
    if (!index || !options[*index].value) {
        return std::string(absent);
    }
    std::string text = *options[*index].value;
    if (!text.empty() && text.back() == '*') {
        text.pop_back();
    }
    return text;
}

std::string block(const styleContainer& style, std::string_view prefix,
                  std::string_view separator) {
    std::string text;
    if (!style.userVariables) {
        return text;
    }
    for (const auto& variable : *style.userVariables) {
        text.append(prefix);
        text.append(variable.name);
        text.append(separator);
        text.append(variableValueText(variable, ValueTarget::definitionBlock));
        text.append(";\n");
    }
    return text;
}

}  // namespace

std::string variableValueText(const userVariable& variable, ValueTarget target) {
    const std::string_view absent = target == ValueTarget::sectionCode ? "" : "null";
    if (isChoice(variable)) {
        return choiceText(variable, absent);
    }
    if (variable.type == "range" || variable.type == "number") {
        const auto& range = variable.rangeOptions;
        if (range && range->units) {
            return variable.currentValue.value_or(variable.defaultValue) + *range->units;
        }
    }
    if (variable.currentValue) {
        return *variable.currentValue;
    }
    return target == ValueTarget::sectionCode ? variable.defaultValue : std::string(absent);
}

std::string lessDefinitionBlock(const styleContainer& style) {
    return block(style, "@", ": ");
}

std::string stylusDefinitionBlock(const styleContainer& style) {
    return block(style, "", " = ");
}

}  // namespace orlavine
