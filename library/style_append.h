#pragma once
// Adding a new style at the end of the library.

#include <cstdint>

#include "model/records.h"
#include "model/style_store.h"

namespace orlavine {

// Appends `style`, drawing a new uniqueID when another style took its own in the meantime (a
// style read on one thread may meet one appended on another). Returns the style's uniqueID.
// The caller saves.
std::int64_t appendStyle(StyleStore& store, styleContainer style);

}  // namespace orlavine
