#include "sync/record_files.h"

#include <fmt/format.h>

#include <cstdint>

#include "sync/record_store.h"

namespace orlavine::sync {

std::string recordFileName(const std::string& recordName) {
    if (recordName == kDatabaseRecord) {
        return recordName + ".sdb";
    }
    return recordName + ".json";
}

std::string revisionFileName(const std::string& recordName) {
    return recordFileName(recordName) + ".rev";
}

std::string contentTag(std::string_view body) {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const char c : body) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return fmt::format("{:016x}-{}", hash, body.size());
}

}  // namespace orlavine::sync
