#pragma once
// Putting variable values into the code of plain-CSS styles: "/*[[name]]*/" placeholders for
// "uso" styles and styles without a preprocessor, a ":root" block of custom properties for
// "default" styles. Both set each section's compiledcode and drop compSections.

#include "model/records.h"

namespace orlavine {

// Every "/*[[name]]*/" (exact, case-sensitive) becomes the variable's value, variable by variable
// in declaration order.
void substitutePlaceholders(styleContainer& style);

// ":root {\n\t--name: value;\n...}\n" in front of each section's code; with no variables the
// code is taken as it is.
void prependRootBlock(styleContainer& style);

}  // namespace orlavine
