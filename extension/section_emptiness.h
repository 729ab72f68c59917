#pragma once
// Whether a section's CSS holds nothing worth injecting: only white space, only comments, or a
// lone @namespace line.

#include <string_view>

namespace orlavine {

bool isEmptySectionText(std::string_view text);

// The text without white space and line breaks (the Unicode White_Space set) at either end.
std::string_view trimWhiteSpace(std::string_view text);

}  // namespace orlavine
