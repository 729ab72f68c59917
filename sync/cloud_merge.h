#pragma once
// The two merges of cloud sync, as pure functions over libraries. The first merge runs when sync
// starts and keeps the cloud order with local additions appended; the remote merge runs when
// another machine changed the cloud copy and takes it, corrected by newer local copies.

#include <cstdint>
#include <vector>

#include "model/date.h"
#include "model/records.h"

namespace orlavine::sync {

struct FirstMergeInput {
    const styleDatabase& cloud;
    const styleDatabase& local;
    Date lastSuccessfulSync;
    bool firstMergeAfterEnabling = false;
};

struct FirstMergeResult {
    // Both style lists were already the same: nothing to save.
    bool unchanged = false;
    styleDatabase merged;
    // Local styles the merge left out while the cloud copy carries no date.
    std::vector<styleContainer> deleted;
};

FirstMergeResult firstMerge(const FirstMergeInput& input);

struct RemoteMergeResult {
    styleDatabase merged;
    // Styles whose cloud copy is newer, then styles the cloud no longer has.
    std::vector<std::int64_t> changedIDs;
    std::vector<styleContainer> deleted;
};

RemoteMergeResult remoteMerge(const styleDatabase& cloud, const styleDatabase& local);

}  // namespace orlavine::sync
