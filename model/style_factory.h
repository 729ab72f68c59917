#pragma once
// Making new styles and their identifiers.

#include <cstdint>
#include <string>

#include "model/records.h"

namespace orlavine {

// A fresh unsigned 32-bit random number (0 to 4294967295).
std::uint32_t randomUInt32();

// A uniqueID that no style of `db` has. Drawn at random, never derived from list position.
std::int64_t newUniqueID(const styleDatabase& db);

// A new style with the values of a freshly created one: enabled, frames allowed, empty
// metadata, no exclusions, an empty variable list, modified now.
styleContainer newStyle(styleJSON data, std::string source, std::int64_t userstyleID,
                        const styleDatabase& db);

// A new empty library: version 1, no styles, a fresh randomHash, modified now.
styleDatabase newDatabase();

}  // namespace orlavine
