#include "library/style_append.h"

#include <algorithm>
#include <utility>

#include "model/style_factory.h"

namespace orlavine {

std::int64_t appendStyle(StyleStore& store, styleContainer style) {
    return store.modify([&](styleDatabase& db) {
        const bool taken = std::any_of(db.styles.begin(), db.styles.end(),
                                       [&](const auto& s) { return s.uniqueID == style.uniqueID; });
        if (taken) {
            style.uniqueID = newUniqueID(db);
        }
        db.styles.push_back(std::move(style));
        return db.styles.back().uniqueID;
    });
}

}  // namespace orlavine
