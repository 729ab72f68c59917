#include "support/uncached_assembly.h"

#include <optional>

#include "extension/page_address.h"
#include "extension/rule_regex.h"
#include "extension/section_emptiness.h"
#include "extension/style_rules.h"

namespace orlavine {

namespace {

bool regexMatches(const std::string& pattern, RegexUse use, std::string_view subject,
                  MatchScratch& scratch) {
    const auto regex = RuleRegex::compile(pattern, use, /*jit=*/false);
    return regex && regex->matches(subject, scratch);
}

bool isExcluded(const styleContainer& style, const PageAddress& page, MatchScratch& scratch) {
    for (const std::string& rule : style.exclURL.value_or(std::vector<std::string>{})) {
        if (page.text == rule) {
            return true;
        }
    }
    for (const std::string& rule : style.exclDomain.value_or(std::vector<std::string>{})) {
        if (domainRuleMatches(rule, page.host)) {
            return true;
        }
    }
    for (const std::string& rule : style.exclPrefix.value_or(std::vector<std::string>{})) {
        if (page.text.starts_with(rule)) {
            return true;
        }
    }
    for (const std::string& rule : style.exclRegExp.value_or(std::vector<std::string>{})) {
        if (regexMatches(rule, RegexUse::anywhere, page.matchText(), scratch)) {
            return true;
        }
    }
    return false;
}

bool sectionMatches(const styleSection& section, const PageAddress& page, MatchScratch& scratch) {
    if (!sectionHasRules(section)) {
        return true;
    }
    for (const std::string& rule : section.urls) {
        if (urlRuleMatches(rule, page.text)) {
            return true;
        }
    }
    for (const std::string& rule : section.domains) {
        if (domainRuleMatches(rule, page.host)) {
            return true;
        }
    }
    for (const std::string& rule : section.urlPrefixes) {
        if (page.text.starts_with(rule)) {
            return true;
        }
    }
    for (const std::string& rule : section.regexps) {
        if (regexMatches(rule, RegexUse::wholeText, page.matchText(), scratch) ||
            regexMatches(rule, RegexUse::wholeText, page.matchTextWithSlash(), scratch)) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string uncachedPageCSS(const styleDatabase& db, std::string_view address, bool isFrame) {
    const PageAddress page = readPageAddress(address);
    MatchScratch scratch;
    std::string css;
    for (const styleContainer& style : db.styles) {
        if (!style.isEnabled || isExcluded(style, page, scratch)) {
            continue;
        }
        if (isFrame && !style.allowIframe.value_or(false)) {
            continue;
        }
        for (const styleSection& section : sectionsToInject(style)) {
            const std::string_view text = sectionText(section);
            if (!isEmptySectionText(text) && sectionMatches(section, page, scratch)) {
                appendSection(css, appearanceOpening(style), text);
            }
        }
    }
    return css;
}

std::vector<styleKeys> uncachedActiveStyles(const styleDatabase& db, std::string_view address) {
    const PageAddress page = readPageAddress(address);
    MatchScratch scratch;
    std::vector<styleKeys> keys;
    for (const styleContainer& style : db.styles) {
        if (!style.isEnabled || isExcluded(style, page, scratch)) {
            continue;
        }
        for (const styleSection& section : sectionsToInject(style)) {
            if (!isEmptySectionText(sectionText(section)) &&
                sectionMatches(section, page, scratch)) {
                keys.push_back(styleKeys{style.styleData.name, style.uniqueID});
                break;
            }
        }
    }
    return keys;
}

}  // namespace orlavine
