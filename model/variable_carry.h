#pragma once
// Keeping the user's variable values when a style is replaced by a new version of itself.

#include "model/records.h"

namespace orlavine {

// The new version with the values the user chose in the old style: matched by label or name
// and type; choices follow their option (by value, then label, then name) even when the
// options were reordered. Does not recompile.
styleContainer carryOverVariableValues(const styleContainer& old, styleContainer newVersion);

}  // namespace orlavine
