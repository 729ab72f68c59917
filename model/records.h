#pragma once
// The records of the style library. Plain values, copied on assignment; their JSON form is in
// record_json.h.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/date.h"

namespace orlavine {

// One block of code and the pages it applies to. A section whose four rule lists are all empty
// applies to every page.
struct styleSection {
    std::vector<std::string> urls;         // exact page addresses
    std::vector<std::string> urlPrefixes;  // address prefixes
    std::vector<std::string> domains;      // host-name endings, letter case ignored
    std::vector<std::string> regexps;      // expressions that must match the whole address
    std::string code;                      // source as the user wrote it
    std::optional<std::string> compiledcode;
    std::optional<std::string> sectionName;

    bool operator==(const styleSection&) const = default;
};

// One choice of a "dropdown", "select" or "image" variable.
struct variableOption {
    std::optional<std::string> name;
    std::optional<std::string> label;
    std::optional<std::string> value;

    bool operator==(const variableOption&) const = default;
};

// Bounds of a "number" or "range" variable.
struct rangeOpts {
    double min = 0;
    double max = 0;
    double step = 0;
    std::optional<std::string> units;

    bool operator==(const rangeOpts&) const = default;
};

// One user-settable value of a style.
struct userVariable {
    std::string type;  // "text", "color", "checkbox", "number", "range", "dropdown", ...
    std::string name;
    std::string label;
    std::string defaultValue;
    std::optional<std::vector<variableOption>> selectOptions;
    std::optional<rangeOpts> rangeOptions;
    // For choice variables: the decimal index of the chosen entry of selectOptions.
    std::optional<std::string> currentValue;

    bool operator==(const userVariable&) const = default;
};

// A style's catalogue-form record: its name and code sections.
struct styleJSON {
    std::string url;
    std::string updateUrl;
    std::string md5Url;
    std::string originalMd5;
    std::string name;
    std::vector<styleSection> sections;
    std::optional<std::vector<styleSection>> compSections;

    bool operator==(const styleJSON&) const = default;
};

// One user style.
struct styleContainer {
    std::int64_t uniqueID = 0;
    styleJSON styleData;
    bool isEnabled = true;
    std::string source;  // "usorg", "usercss" or "custom"
    std::int64_t userstyleID = -1;
    std::string version;
    std::string namespace_;  // JSON member "namespace"
    std::string description;
    std::string author;
    std::string homepageURL;
    std::string supportURL;
    std::string license;
    std::string downloadedFrom;
    std::string preprocessor;  // "default", "uso", "less", "stylus" or empty
    std::optional<std::vector<std::string>> exclURL;
    std::optional<std::vector<std::string>> exclDomain;
    std::optional<std::vector<std::string>> exclPrefix;
    std::optional<std::vector<std::string>> exclRegExp;
    std::optional<bool> allowIframe;  // absent counts as false
    std::optional<std::string> updateURL;
    std::optional<std::string> systemTheme;  // "dark", "light", "none" or absent
    std::optional<std::vector<userVariable>> userVariables;
    std::optional<Date> dateModified;

    bool operator==(const styleContainer&) const = default;
};

// The whole library: the content of the database file.
struct styleDatabase {
    static constexpr std::int64_t kVersion = 1;
    std::int64_t dbVersion = kVersion;  // always 1, whatever a file says
    std::vector<styleContainer> styles;
    std::int64_t randomHash = 0;
    std::optional<Date> dateModified;

    bool operator==(const styleDatabase&) const = default;
};

}  // namespace orlavine
