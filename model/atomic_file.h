#pragma once
// Whole-file reads and atomic replacement: a reader, or a crash at any moment, sees either the
// old file or the new one, never a mix.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "model/file_handle.h"
#include "model/result.h"

namespace orlavine {

// Writes `bytes` to a temporary file in the same folder, flushes it to disk, renames it over
// `file` and flushes the folder. Creates missing parent folders. The file gets `mode` when given;
// else a replaced file keeps its permissions and a new one gets 0666 less the umask. When `file`
// is a symbolic link, the file it names is replaced and the link stays. Without `flushToDisk`
// nothing waits for the disk: readers still see the old file or the new one, but after a crash
// the file may be lost or empty (for caches that are made again).
Status writeFileAtomically(const std::filesystem::path& file, std::string_view bytes,
                           std::optional<unsigned> mode = std::nullopt, bool flushToDisk = true);

// `file` with its symbolic links followed to the file they name, which may not exist.
std::filesystem::path resolveLinks(const std::filesystem::path& file);

// Reads a whole file; files larger than `maxBytes` are refused rather than read. With `keep`, the
// descriptor the bytes were read from is handed over there, for reading parts again later.
Result<std::string> readWholeFile(const std::filesystem::path& file, std::size_t maxBytes,
                                  FileHandle* keep = nullptr);
// The two steps of readWholeFile: opening a regular file (a FIFO or a folder is refused without
// waiting), and reading the file open in `fd` whole from its start (`file` names it in messages).
Result<FileHandle> openRegularFile(const std::filesystem::path& file);
Result<std::string> readOpenFile(const FileHandle& fd, const std::filesystem::path& file,
                                 std::size_t maxBytes);

}  // namespace orlavine

namespace orlavine {

// Holds an exclusive advisory lock (flock) on `lockFile`, created with `mode` when missing, for
// as long as the object lives; other processes taking the same lock wait.
class ExclusiveFileLock {
  public:
    explicit ExclusiveFileLock(const std::filesystem::path& lockFile, unsigned mode = 0644);
    ~ExclusiveFileLock();
    ExclusiveFileLock(const ExclusiveFileLock&) = delete;
    ExclusiveFileLock& operator=(const ExclusiveFileLock&) = delete;
    bool ok() const { return fd_ >= 0; }
    // A counter kept in the lock file that holders may read and bump: it tells other processes
    // that something guarded by the lock changed, even where file times are too coarse to.
    std::uint64_t counter() const;
    void bumpCounter();

  private:
    int fd_ = -1;
};

// Removes the temporary files that writeFileAtomically left beside `file` (beside the file it
// names, when it is a symbolic link) when a process died mid-write, if they are older than `age`.
void removeStaleTemporaries(const std::filesystem::path& file, std::chrono::seconds age);

}  // namespace orlavine
