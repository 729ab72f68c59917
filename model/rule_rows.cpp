#include "model/rule_rows.h"

namespace orlavine {
namespace {

void addRows(std::vector<RuleRow>& rows, const char* type, const std::vector<std::string>& rules) {
    for (const std::string& rule : rules) {
        rows.push_back(RuleRow{{"type", type}, {"rule", rule}});
    }
}

// The four target lists, in the order of the row types above.
struct RuleLists {
    std::vector<std::string> domains, urls, prefixes, regexps;

    explicit RuleLists(const std::vector<RuleRow>& rows) {
        for (const RuleRow& row : rows) {
            const auto type = row.find("type");
            const auto rule = row.find("rule");
            if (type == row.end() || rule == row.end()) {
                continue;
            }
            if (type->second == kRowDomain) {
                domains.push_back(rule->second);
            } else if (type->second == kRowURL) {
                urls.push_back(rule->second);
            } else if (type->second == kRowPrefix) {
                prefixes.push_back(rule->second);
            } else if (type->second == kRowRegExp) {
                regexps.push_back(rule->second);
            }
        }
    }
};

std::optional<std::vector<std::string>> presentIfAny(std::vector<std::string> list) {
    if (list.empty()) {
        return std::nullopt;
    }
    return list;
}

}  // namespace

std::shared_ptr<ruleDictionary> ruleDictionary::fromSection(const styleSection& section) {
    auto rows = std::make_shared<ruleDictionary>();
    addRows(rows->dictionary, kRowDomain, section.domains);
    addRows(rows->dictionary, kRowURL, section.urls);
    addRows(rows->dictionary, kRowPrefix, section.urlPrefixes);
    addRows(rows->dictionary, kRowRegExp, section.regexps);
    rows->sectionName = section.sectionName;
    return rows;
}

styleSection ruleDictionary::applyTo(styleSection section) const {
    RuleLists lists(dictionary);
    section.domains = std::move(lists.domains);
    section.urls = std::move(lists.urls);
    section.urlPrefixes = std::move(lists.prefixes);
    section.regexps = std::move(lists.regexps);
    section.sectionName = sectionName;
    return section;
}

std::shared_ptr<exclDictionary> exclDictionary::fromStyle(const styleContainer& style) {
    auto rows = std::make_shared<exclDictionary>();
    static const std::vector<std::string> none;
    addRows(rows->dictionary, kRowDomain, style.exclDomain.value_or(none));
    addRows(rows->dictionary, kRowURL, style.exclURL.value_or(none));
    addRows(rows->dictionary, kRowPrefix, style.exclPrefix.value_or(none));
    addRows(rows->dictionary, kRowRegExp, style.exclRegExp.value_or(none));
    return rows;
}

styleContainer exclDictionary::applyTo(styleContainer style) const {
    RuleLists lists(dictionary);
    style.exclDomain = presentIfAny(std::move(lists.domains));
    style.exclURL = presentIfAny(std::move(lists.urls));
    style.exclPrefix = presentIfAny(std::move(lists.prefixes));
    style.exclRegExp = presentIfAny(std::move(lists.regexps));
    return style;
}

}  // namespace orlavine
