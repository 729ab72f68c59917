#include "sync/cloud_merge.h"

#include <algorithm>
#include <optional>
#include <unordered_set>

#include "model/content_hash.h"

namespace orlavine::sync {
namespace {

bool hasText(const std::optional<std::string>& s) {
    return s && std::any_of(s->begin(), s->end(), [](unsigned char c) { return !std::isspace(c); });
}

// The cloud style that stands for the local style `l`, first in cloud order.
std::optional<std::size_t> findMatch(const styleContainer& l,
                                     const std::vector<styleContainer>& cloud) {
    if (l.userstyleID != -1) {
        for (std::size_t i = 0; i < cloud.size(); ++i) {
            if (cloud[i].userstyleID == l.userstyleID) {
                return i;
            }
        }
    }
    if (l.source == "usercss") {
        const std::uint64_t hash = contentHash(l.styleData);
        for (std::size_t i = 0; i < cloud.size(); ++i) {
            const styleContainer& r = cloud[i];
            if (r.source != "usercss") {
                continue;
            }
            // An empty address says nothing: two pasted UserCSS styles are not the same style.
            if ((!l.downloadedFrom.empty() && r.downloadedFrom == l.downloadedFrom) ||
                (hasText(l.updateURL) && r.updateURL == l.updateURL) ||
                contentHash(r.styleData) == hash) {
                return i;
            }
        }
    }
    for (std::size_t i = 0; i < cloud.size(); ++i) {
        const styleContainer& r = cloud[i];
        if (r.styleData.sections == l.styleData.sections ||
            (r.styleData.name == l.styleData.name && r.uniqueID == l.uniqueID)) {
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace

FirstMergeResult firstMerge(const FirstMergeInput& input) {
    FirstMergeResult result;
    result.merged = input.cloud;
    if (input.cloud.styles == input.local.styles) {
        result.unchanged = true;
        return result;
    }
    const std::vector<styleContainer> cloudStyles = input.cloud.styles;
    std::vector<styleContainer>& merged = result.merged.styles;
    for (const styleContainer& l : input.local.styles) {
        if (const std::optional<std::size_t> match = findMatch(l, cloudStyles)) {
            const styleContainer& r = cloudStyles[*match];
            bool localWins = false;
            if (l.dateModified && r.dateModified) {
                localWins = *l.dateModified > *r.dateModified;
            } else {
                localWins = input.cloud.dateModified && input.local.dateModified &&
                            *input.cloud.dateModified < *input.local.dateModified;
            }
            if (localWins) {
                merged[*match] = l;
            }
            continue;
        }
        if (l.dateModified && *l.dateModified > input.lastSuccessfulSync) {
            merged.push_back(l);
        } else if (input.firstMergeAfterEnabling || !input.local.dateModified) {
            merged.push_back(l);
        } else if (!input.cloud.dateModified) {
            result.deleted.push_back(l);
        } else if (*input.cloud.dateModified < *input.local.dateModified) {
            merged.push_back(l);
        }
        // Otherwise the cloud copy is at least as new and no longer has the style.
    }
    return result;
}

RemoteMergeResult remoteMerge(const styleDatabase& cloud, const styleDatabase& local) {
    RemoteMergeResult result;
    result.merged = cloud;
    std::unordered_set<std::int64_t> cloudIDs;
    for (styleContainer& r : result.merged.styles) {
        cloudIDs.insert(r.uniqueID);
        const auto l =
            std::find_if(local.styles.begin(), local.styles.end(),
                         [&](const styleContainer& s) { return s.uniqueID == r.uniqueID; });
        if (l == local.styles.end() || *l == r || !l->dateModified) {
            continue;
        }
        if (!r.dateModified || *l->dateModified > *r.dateModified) {
            r = *l;
        } else if (*l->dateModified < *r.dateModified) {
            result.changedIDs.push_back(r.uniqueID);
        }
    }
    for (const styleContainer& l : local.styles) {
        if (!cloudIDs.contains(l.uniqueID)) {
            result.deleted.push_back(l);
            result.changedIDs.push_back(l.uniqueID);
        }
    }
    return result;
}

}  // namespace orlavine::sync
