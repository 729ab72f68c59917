#pragma once
// The styles' code of a library read as an outline, left in the file it was read from and
// decoded when a page first needs it: the host answers pages without ever holding the code of
// styles those pages do not get.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/file_handle.h"
#include "model/library_index.h"
#include "model/library_outline.h"

namespace orlavine {

class LibraryCode {
  public:
    // `file` is the descriptor the outline's text was read from, whole, from its start. Which
    // texts are empty is decided now, while the text is at hand.
    static std::shared_ptr<const LibraryCode> make(const LibraryOutline& outline, FileHandle file);
    // The same from a library index made from the file open in `file`.
    static std::shared_ptr<const LibraryCode> make(LibraryIndex& index, FileHandle file);

    ~LibraryCode();
    LibraryCode(const LibraryCode&) = delete;
    LibraryCode& operator=(const LibraryCode&) = delete;

    std::size_t size() const { return spans_.size(); }
    const std::vector<CodeSpan>& spans() const { return spans_; }
    // skeletonChecksum() of the text read (see LibraryIndex).
    std::uint64_t skeleton() const { return skeleton_; }
    // Whether the text at `place` injects nothing (see isEmptySectionText).
    bool isEmpty(std::size_t place) const;
    // Whether every code text reads back from the file as the decoder takes it, as an index of
    // the file requires. Reads the file's code once, a few megabytes at a time.
    bool allReadBack() const;
    // The decoded text at `place`, read once and then kept; "" for a place that is out of range
    // or whose bytes can no longer be read as they were. Safe to call from several threads.
    std::string_view text(std::size_t place) const;

  private:
    LibraryCode(FileHandle file, std::vector<CodeSpan> spans, std::uint64_t skeleton);

    FileHandle file_;
    std::vector<CodeSpan> spans_;
    std::uint64_t skeleton_ = 0;
    std::unique_ptr<std::atomic<const std::string*>[]> decoded_;
};

}  // namespace orlavine
