#pragma once
// What the engine remembers between runs of the program, kept beside the library: the change tags
// of the records it last fetched or saved, whether an upload still has to be retried, and the
// styles merges removed (so a later run can still recover them).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "model/records.h"
#include "model/result.h"

namespace orlavine::sync {

inline constexpr const char* kSyncStateFileName = "sync-state.json";
inline constexpr const char* kDeletedStylesFileName = "styledb-deleted.sdb";
// The most removed styles kept; the oldest go first.
inline constexpr std::size_t kMaxDeletedStyles = 1000;

struct SyncState {
    std::optional<std::string> databaseTag;
    std::optional<std::string> preferencesTag;
    bool uploadPending = false;
    // The revision (randomHash) of the library the cloud last agreed with.
    std::optional<std::int64_t> syncedRevision;
    // Sync was just switched on and the first merge has not run yet.
    bool firstMergeAfterEnabling = false;
    std::vector<styleContainer> deletedStyles;
};

// Reads the state kept in `folder`; missing or unreadable files give an empty state.
SyncState loadSyncState(const std::filesystem::path& folder);
Status saveSyncState(const std::filesystem::path& folder, const SyncState& state);

}  // namespace orlavine::sync
