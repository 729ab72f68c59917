#pragma once
// The whole style as one document for the Less compiler or the Stylus renderer.

#include <string>

#include "model/records.h"

namespace orlavine {

// The sections in order: a section with rules becomes an "@-moz-document" block (domains, then
// addresses, prefixes and regular expressions with their backslashes doubled) around its code
// indented by a tab; a section without rules is its bare code. Stylus code without any "{" is
// written as an indented block without braces.
std::string combinedSectionText(const styleContainer& style);

}  // namespace orlavine
