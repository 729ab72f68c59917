#pragma once
// How records are laid out as files in the account's folder, shared by both record stores.

#include <cstddef>
#include <string>

#include "model/record_json.h"

namespace orlavine::sync {

// Largest record body either store reads; anything larger is refused before it is read whole.
inline constexpr std::size_t kMaxRecordBytes = kMaxDatabaseBytes;

// "styleDatabase" -> "styleDatabase.sdb", "preferences" -> "preferences.json".
std::string recordFileName(const std::string& recordName);

}  // namespace orlavine::sync
