#pragma once
// Writing a style as a UserCSS document: the metadata comment, one @var line per user variable,
// then every section as an @-moz-document block (or as bare code when it has no rules). What
// it writes reads back into the same sections and variables.

#include <string>

#include "model/records.h"

namespace orlavine {

std::string writeUserCSS(const styleContainer& style);

}  // namespace orlavine
