#pragma once
// How records are laid out as files in the account's folder, shared by both record stores.

#include <cstddef>
#include <string>
#include <string_view>

#include "model/record_json.h"

namespace orlavine::sync {

// Largest record body either store reads; anything larger is refused before it is read whole.
inline constexpr std::size_t kMaxRecordBytes = kMaxDatabaseBytes;

// "styleDatabase" -> "styleDatabase.sdb", "preferences" -> "preferences.json".
std::string recordFileName(const std::string& recordName);

// The small file beside a record that holds its content tag, so that a change is seen without
// reading the record: "styleDatabase.sdb.rev". Writers that hold the folder's lock keep it in
// step with the record.
std::string revisionFileName(const std::string& recordName);

// The tag of a body: a stable hash of its bytes and its length, in hex. Any change of the bytes
// changes it, however the server dates or tags the file.
std::string contentTag(std::string_view body);

}  // namespace orlavine::sync
