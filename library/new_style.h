#pragma once
// Creating an empty style from a name, an optional rule and a preprocessor, as the new-style
// sheet does.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "library/library_services.h"

namespace orlavine {

// The code of the very first style created on a settings store: a short guide.
extern const char* const kFirstStyleTemplate;

struct NewStyleForm {
    std::string name = {};
    // Which list the rule goes to: 0 domains, 1 URLs, 2 URL prefixes, 3 regular expressions;
    // any other index means domains.
    int ruleType = 0;
    std::string rule = {};  // none when blank: the style applies everywhere
    // 1 "stylus", 2 "less"; any other index means "default".
    int preprocessor = 0;
};

// Whether a style may be created under `name`: it has something besides blanks.
bool canCreateStyle(std::string_view name);

// Appends the new style, saves, and posts "addToOpenStyles" and "addLatestStyle". Returns its
// uniqueID, or nothing when the name is blank.
std::optional<std::int64_t> createNewStyle(const NewStyleForm& form,
                                           const LibraryServices& services);

}  // namespace orlavine
