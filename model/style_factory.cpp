#include "model/style_factory.h"

#include <algorithm>
#include <random>
#include <utility>

namespace orlavine {

std::uint32_t randomUInt32() {
    std::random_device device;
    return static_cast<std::uint32_t>(device());
}

std::int64_t newUniqueID(const styleDatabase& db) {
    for (;;) {
        const std::int64_t candidate = randomUInt32();
        const bool taken =
            std::any_of(db.styles.begin(), db.styles.end(),
                        [&](const styleContainer& s) { return s.uniqueID == candidate; });
        if (!taken) {
            return candidate;
        }
    }
}

styleContainer newStyle(styleJSON data, std::string source, std::int64_t userstyleID,
                        const styleDatabase& db) {
    styleContainer style;
    style.uniqueID = newUniqueID(db);
    style.styleData = std::move(data);
    style.isEnabled = true;
    style.source = std::move(source);
    style.userstyleID = userstyleID;
    style.allowIframe = true;
    style.userVariables = std::vector<userVariable>{};
    style.dateModified = Date::now();
    return style;
}

styleDatabase newDatabase() {
    styleDatabase db;
    db.randomHash = randomUInt32();
    db.dateModified = Date::now();
    return db;
}

}  // namespace orlavine
