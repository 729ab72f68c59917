#include "model/library_merge.h"

#include <algorithm>
#include <cstdint>

#include "model/content_hash.h"
#include "model/style_factory.h"

namespace orlavine {
namespace {

bool isBlank(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](unsigned char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    });
}

}  // namespace

bool hasSameContent(const styleDatabase& library, const styleJSON& data) {
    const std::uint64_t hash = contentHash(data);
    return std::any_of(library.styles.begin(), library.styles.end(),
                       [&](const styleContainer& s) { return contentHash(s.styleData) == hash; });
}

bool isAlreadyInLibrary(const styleDatabase& library, const styleContainer& incoming) {
    if (incoming.userstyleID != -1 &&
        std::any_of(library.styles.begin(), library.styles.end(), [&](const styleContainer& s) {
            return s.userstyleID == incoming.userstyleID;
        })) {
        return true;
    }
    if (incoming.source == "usercss" && !incoming.downloadedFrom.empty()) {
        const std::uint64_t hash = contentHash(incoming.styleData);
        return std::any_of(
            library.styles.begin(), library.styles.end(), [&](const styleContainer& s) {
                if (s.source == "usercss" && s.downloadedFrom == incoming.downloadedFrom) {
                    return true;
                }
                if (s.updateURL && !isBlank(*s.updateURL) && s.updateURL == incoming.updateURL) {
                    return true;
                }
                return contentHash(s.styleData) == hash;
            });
    }
    return hasSameContent(library, incoming.styleData);
}

MergeOutcome mergeStyles(styleDatabase& library, const styleDatabase& incoming) {
    MergeOutcome outcome;
    for (const styleContainer& style : incoming.styles) {
        if (isAlreadyInLibrary(library, style)) {
            ++outcome.skipped;
            continue;
        }
        styleContainer added = style;
        const bool taken =
            std::any_of(library.styles.begin(), library.styles.end(),
                        [&](const styleContainer& s) { return s.uniqueID == added.uniqueID; });
        if (taken) {
            added.uniqueID = newUniqueID(library);
        }
        library.styles.push_back(std::move(added));
        ++outcome.added;
    }
    return outcome;
}

}  // namespace orlavine
