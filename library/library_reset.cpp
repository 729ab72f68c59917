#include "library/library_reset.h"

#include "model/style_factory.h"

namespace orlavine {

Result<ResetOutcome> resetLibrary(StyleStore& store,
                                  const std::vector<std::int64_t>& openStyleIDs) {
    if (!openStyleIDs.empty()) {
        return ResetOutcome::stylesOpen;
    }
    const Result<bool> done = store.change([](styleDatabase& db, LibraryChange& changed) {
        db = newDatabase();
        changed.everything = true;
        return true;
    });
    if (!done) {
        return Error{done.error()};
    }
    return ResetOutcome::reset;
}

}  // namespace orlavine
