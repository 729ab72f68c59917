#include "preprocess/code_substitution.h"

#include <optional>
#include <string>
#include <string_view>

#include "preprocess/variable_text.h"

namespace orlavine {
namespace {

// Values may hold the placeholders of later variables, so each variable can multiply the size
// of the code; a substitution that would pass this size is left out.
constexpr std::size_t kMaxSubstitutedSize = std::size_t{32} << 20;

std::optional<std::string> replaceAll(std::string_view text, std::string_view from,
                                      std::string_view to) {
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    while (true) {
        const std::size_t at = text.find(from, start);
        if (at == std::string_view::npos) {
            break;
        }
        out.append(text.substr(start, at - start));
        out.append(to);
        start = at + from.size();
        if (out.size() > kMaxSubstitutedSize) {
            return std::nullopt;
        }
    }
    out.append(text.substr(start));
    return out;
}

void dropCompiledSections(styleContainer& style) {
    if (!style.styleData.sections.empty()) {
        style.styleData.compSections.reset();
    }
}

}  // namespace

void substitutePlaceholders(styleContainer& style) {
    const auto& variables = style.userVariables;
    for (auto& section : style.styleData.sections) {
        std::string code = section.code;
        if (variables) {
            for (const auto& variable : *variables) {
                const std::string placeholder = "/*[[" + variable.name + "]]*/";
                auto replaced = replaceAll(code, placeholder,
                                           variableValueText(variable, ValueTarget::sectionCode));
                if (replaced) {
                    code = std::move(*replaced);
                }
            }
        }
        section.compiledcode = std::move(code);
    }
    dropCompiledSections(style);
}

void prependRootBlock(styleContainer& style) {
    std::string rootBlock;
    if (style.userVariables && !style.userVariables->empty()) {
        rootBlock = ":root {\n";
        for (const auto& variable : *style.userVariables) {
            rootBlock += "\t--" + variable.name + ": " +
                         variableValueText(variable, ValueTarget::sectionCode) + ";\n";
        }
        rootBlock += "}\n";
    }
    for (auto& section : style.styleData.sections) {
        section.compiledcode = rootBlock + section.code;
    }
    dropCompiledSections(style);
}

}  // namespace orlavine
