#pragma once
// Resetting the library from the preferences: refused while styles are open in the editor,
// else the library becomes a new empty one (uploaded like any change when sync is on).

#include <cstdint>
#include <vector>

#include "model/result.h"
#include "model/style_store.h"

namespace orlavine {

enum class ResetOutcome { reset, stylesOpen };

// `openStyleIDs`: the styles open in editor windows. The caller has asked the user first.
Result<ResetOutcome> resetLibrary(StyleStore& store, const std::vector<std::int64_t>& openStyleIDs);

}  // namespace orlavine
