#pragma once
// Adding the styles of another library file, skipping the ones the library already holds.

#include <cstddef>

#include "model/records.h"

namespace orlavine {

// The general duplicate test: some style of `library` has the same content hash.
bool hasSameContent(const styleDatabase& library, const styleJSON& data);

// Whether `incoming` is already in `library`: by catalogue number, then by the UserCSS test
// (same address installed from, same update address, or same content) for UserCSS styles with
// an address, else by content.
bool isAlreadyInLibrary(const styleDatabase& library, const styleContainer& incoming);

struct MergeOutcome {
    std::size_t added = 0;
    std::size_t skipped = 0;
};

// Appends every style of `incoming` that is not already in `library`, in order. A style whose
// uniqueID is taken gets a new one.
MergeOutcome mergeStyles(styleDatabase& library, const styleDatabase& incoming);

}  // namespace orlavine
