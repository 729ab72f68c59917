#include "extension/style_rules.h"

#include "extension/page_address.h"

namespace orlavine {

const std::vector<styleSection>& sectionsToInject(const styleContainer& style) {
    const bool compiledLanguage = style.preprocessor == "less" || style.preprocessor == "stylus";
    if (compiledLanguage && style.styleData.compSections) {
        return *style.styleData.compSections;
    }
    return style.styleData.sections;
}

std::string_view sectionText(const styleSection& section) {
    return section.compiledcode ? std::string_view(*section.compiledcode)
                                : std::string_view(section.code);
}

bool sectionHasRules(const styleSection& section) {
    return !section.urls.empty() || !section.domains.empty() || !section.urlPrefixes.empty() ||
           !section.regexps.empty();
}

std::string_view appearanceOpening(const styleContainer& style) {
    if (style.systemTheme == "dark") {
        return "@media (prefers-color-scheme: dark) {\n";
    }
    if (style.systemTheme == "light") {
        return "@media (prefers-color-scheme: light) {\n";
    }
    return {};
}

void appendSection(std::string& out, std::string_view opening, std::string_view text) {
    out.append(opening);
    out.append(text);
    if (!opening.empty()) {
        out += '}';
    }
    out += '\n';
}

bool urlRuleMatches(std::string_view rule, std::string_view address) {
    return address == rule || (address.size() == rule.size() + 1 && address.back() == '/' &&
                               address.starts_with(rule));
}

bool domainRuleMatches(std::string_view rule, const std::optional<std::string>& lowerHost) {
    return lowerHost && lowerHost->ends_with(lowerAscii(rule));
}

}  // namespace orlavine
