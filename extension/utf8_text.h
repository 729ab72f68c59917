#pragma once
// Well-formed UTF-8 (no overlong forms, surrogates or values above U+10FFFF).

#include <string>
#include <string_view>

namespace orlavine {

bool isValidUtf8(std::string_view text);

// The text with every byte that is not part of a well-formed sequence replaced by U+FFFD.
std::string replaceInvalidUtf8(std::string_view text);

}  // namespace orlavine
