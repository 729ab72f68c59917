#pragma once
// The browser host's copy of the library: read from the file on first use, afterwards replaced
// whole from the bytes of each change notice. Readers get a compiled snapshot that stays valid
// while they use it, so a page never sees a mix of two revisions.
//
// The host keeps the library's index (library_index.h) up to date in the background whenever it
// had to read the library whole, so that the next host to start (a browser starting) reads only
// the index and leaves the code in the file.

#include <filesystem>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "extension/index_keeper.h"
#include "extension/page_css.h"
#include "model/file_handle.h"
#include "model/library_index.h"
#include "model/reporter.h"

namespace orlavine {

class CachedLibrary {
  public:
    // `keepIndex`: whether to write the library's index when it had to be read whole (a program
    // that runs for a moment leaves that to the host, rather than wait for it on leaving).
    CachedLibrary(std::filesystem::path container, Reporter& reporter, bool keepIndex = true);

    std::shared_ptr<const CompiledLibrary> current();
    // Decodes `bytes` and, when they hold a library, makes it current. The file is not read.
    bool replaceFromBytes(std::string_view bytes);
    // The same for bytes read from `file`, which is kept open: the styles' code is then read
    // from it as pages need it instead of being decoded up front.
    bool replaceFromFile(std::string bytes, FileHandle file);
    // Shows `previews` in place of the saved styles of their uniqueIDs, until the next call; an
    // empty list shows the saved library again. Nothing is written.
    void setPreviews(std::vector<styleContainer> previews);
    // Waits until the index of the library read last is written (or found not worth writing).
    void waitForIndex() { index_.waitIdle(); }

  private:
    // Compiles a library text; without a file to keep, or when the text cannot be outlined, the
    // text is decoded whole. Nothing when it holds no library.
    static std::shared_ptr<const CompiledLibrary> compile(std::string bytes, FileHandle file);
    // The library file read through its index, when the index was made from the file open in
    // `file`.
    static std::shared_ptr<const CompiledLibrary> fromIndex(const std::filesystem::path& database,
                                                            FileHandle& file,
                                                            const LibraryFileIdentity& identity);
    // The saved library with the previews over it, for the pages.
    std::shared_ptr<const CompiledLibrary> overlay(
        const std::shared_ptr<const CompiledLibrary>& saved,
        const std::vector<styleContainer>& previews) const;

    std::filesystem::path container_;
    Reporter& reporter_;
    std::mutex mutex_;
    std::shared_ptr<const CompiledLibrary> saved_;    // the library as the file holds it
    std::shared_ptr<const CompiledLibrary> library_;  // what pages see
    std::vector<styleContainer> previews_;
    bool keepIndex_;
    IndexKeeper index_;  // last: stopped before the libraries it writes go
};

}  // namespace orlavine
