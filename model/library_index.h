#pragma once
// The records of a library file without their code, kept beside the file, so that a program that
// only shows the styles or serves their code from the file can start without reading and decoding
// the whole library. The index names the file it was made from (device, inode, size, time of the
// last write); library files are only ever replaced whole, so an index whose file is no longer
// the library's is simply not used. An index is a cache: it may be missing, old or damaged, and
// is then made again from the library.
//
// The records are those of a library outline (library_outline.h): every section's code and
// compiledcode hold the decimal place of their text among the index's code spans.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/records.h"
#include "model/result.h"

struct stat;

namespace orlavine {

// Which file an index was made from.
struct LibraryFileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNanoseconds = 0;

    static LibraryFileIdentity of(const struct stat& info);
    bool operator==(const LibraryFileIdentity&) const = default;
};

// Where a code text is in the library file: the JSON string's contents, escapes as written.
struct CodeSpan {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
    bool injectsNothing = false;  // white space, comments or a lone @namespace

    bool operator==(const CodeSpan&) const = default;
};

struct LibraryIndex {
    styleDatabase records;  // code fields hold places in `spans`
    std::vector<CodeSpan> spans;
    // skeletonChecksum() of the text the records were decoded from: a program that reads the
    // text anyway (to write it back) checks with it that the records are that text's.
    std::uint64_t skeleton = 0;
};

// A checksum of the library text `text` without the contents of the code texts at `spans`.
std::uint64_t skeletonChecksum(std::string_view text, const std::vector<CodeSpan>& spans);

// The index of the library file `database` (a hidden file beside it).
std::filesystem::path libraryIndexFile(const std::filesystem::path& database);

std::string encodeLibraryIndex(const styleDatabase& records, const std::vector<CodeSpan>& spans,
                               std::uint64_t skeleton, const LibraryFileIdentity& file);
// The index, when `bytes` are a whole, undamaged index made from `file`.
std::optional<LibraryIndex> decodeLibraryIndex(std::string_view bytes,
                                               const LibraryFileIdentity& file);

// Reads the index of `database` when it was made from `file`.
std::optional<LibraryIndex> readLibraryIndex(const std::filesystem::path& database,
                                             const LibraryFileIdentity& file);
// Replaces the index of `database` (atomically; not flushed to disk: a lost index is made again).
Status writeLibraryIndex(const std::filesystem::path& database, const styleDatabase& records,
                         const std::vector<CodeSpan>& spans, std::uint64_t skeleton,
                         const LibraryFileIdentity& file);

namespace detail {
// The records and spans of an index's body, without the header's checks (for fuzzing).
std::optional<LibraryIndex> decodeLibraryIndexBody(std::string_view body);
}  // namespace detail

// The records of `database` as its index holds them, when the index matches the file as it is
// now; nothing otherwise.
std::optional<styleDatabase> indexedRecords(const std::filesystem::path& database);

}  // namespace orlavine
