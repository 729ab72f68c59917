#pragma once
// A section's rules and a style's exclusions as table rows for the editing screens. Each row
// has a "type" ("Domain", "URL is", "URL starts with" or "RegExp") and a "rule".

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/records.h"

namespace orlavine {

using RuleRow = std::map<std::string, std::string>;

inline constexpr const char* kRowDomain = "Domain";
inline constexpr const char* kRowURL = "URL is";
inline constexpr const char* kRowPrefix = "URL starts with";
inline constexpr const char* kRowRegExp = "RegExp";

// The rows of one section. Shared by reference between the screens that edit it.
struct ruleDictionary {
    std::vector<RuleRow> dictionary;
    std::optional<std::string> sectionName;

    // Rows for domains, then urls, then urlPrefixes, then regexps; sectionName copied.
    static std::shared_ptr<ruleDictionary> fromSection(const styleSection& section);
    // `section` with its four rule lists rebuilt from the rows, in row order.
    styleSection applyTo(styleSection section) const;
};

// The exclusion rows of one style.
struct exclDictionary {
    std::vector<RuleRow> dictionary;

    // Rows for exclDomain, exclURL, exclPrefix, exclRegExp; absent lists give no rows.
    static std::shared_ptr<exclDictionary> fromStyle(const styleContainer& style);
    // `style` with its four exclusion lists rebuilt from the rows, in row order. A list that
    // receives no rows becomes absent.
    styleContainer applyTo(styleContainer style) const;
};

}  // namespace orlavine
