#include "model/library_merge.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_set>

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

namespace {

// What the duplicate test looks at in every style of the library, gathered once so that each
// incoming style costs a few hash look-ups instead of a pass over the library.
class LibraryKeys {
  public:
    explicit LibraryKeys(const styleDatabase& library) {
        for (const styleContainer& s : library.styles) {
            add(s);
        }
    }

    void add(const styleContainer& s) {
        uniqueIDs_.insert(s.uniqueID);
        userstyleIDs_.insert(s.userstyleID);
        contentHashes_.insert(contentHash(s.styleData));
        if (s.source == "usercss") {
            downloadedFrom_.insert(s.downloadedFrom);
        }
        if (s.updateURL && !isBlank(*s.updateURL)) {
            updateURLs_.insert(*s.updateURL);
        }
    }

    // The same answer as isAlreadyInLibrary.
    bool holds(const styleContainer& incoming) const {
        if (incoming.userstyleID != -1 && userstyleIDs_.contains(incoming.userstyleID)) {
            return true;
        }
        if (incoming.source == "usercss" && !incoming.downloadedFrom.empty()) {
            if (downloadedFrom_.contains(incoming.downloadedFrom) ||
                (incoming.updateURL && updateURLs_.contains(*incoming.updateURL))) {
                return true;
            }
        }
        return contentHashes_.contains(contentHash(incoming.styleData));
    }

    bool idTaken(std::int64_t id) const { return uniqueIDs_.contains(id); }

  private:
    std::unordered_set<std::int64_t> uniqueIDs_;
    std::unordered_set<std::int64_t> userstyleIDs_;
    std::unordered_set<std::uint64_t> contentHashes_;
    std::unordered_set<std::string> downloadedFrom_;
    std::unordered_set<std::string> updateURLs_;
};

}  // namespace

MergeOutcome mergeStyles(styleDatabase& library, const styleDatabase& incoming) {
    MergeOutcome outcome;
    LibraryKeys keys(library);
    for (const styleContainer& style : incoming.styles) {
        if (keys.holds(style)) {
            ++outcome.skipped;
            continue;
        }
        styleContainer added = style;
        while (keys.idTaken(added.uniqueID)) {
            added.uniqueID = randomUInt32();
        }
        keys.add(added);
        library.styles.push_back(std::move(added));
        ++outcome.added;
    }
    return outcome;
}

}  // namespace orlavine
