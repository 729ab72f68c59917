#pragma once
// The text that a user variable's value puts into a style's code.

#include <string>
#include <string_view>

#include "model/records.h"

namespace orlavine {

// Where the text goes: into section code ("uso" placeholders, the ":root" block), where an
// absent value is the empty text, or into a Less or Stylus definition block, where it is "null".
enum class ValueTarget { sectionCode, definitionBlock };

// The variable's value as text. A choice gives its chosen option's value (one trailing "*"
// removed); a number or range gives its value followed by its units; anything else gives its
// value verbatim. A value that cannot be resolved falls back to the variable's default: a choice
// index that is absent, not a decimal number or out of range takes the default option, and an
// absent value in section code, or an absent number that carries units, takes `defaultValue`.
std::string variableValueText(const userVariable& variable, ValueTarget target);

// "@name: value;\n" per variable, in declaration order.
std::string lessDefinitionBlock(const styleContainer& style);
// "name = value;\n" per variable, in declaration order.
std::string stylusDefinitionBlock(const styleContainer& style);

}  // namespace orlavine
