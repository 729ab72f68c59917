#pragma once
// The browser host's copy of the library: read from the file on first use, afterwards replaced
// whole from the bytes of each change notice. Readers get a compiled snapshot that stays valid
// while they use it, so a page never sees a mix of two revisions.

#include <filesystem>
#include <memory>
#include <mutex>
#include <string_view>

#include "extension/page_css.h"
#include "model/reporter.h"

namespace orlavine {

class CachedLibrary {
  public:
    CachedLibrary(std::filesystem::path container, Reporter& reporter);

    std::shared_ptr<const CompiledLibrary> current();
    // Decodes `bytes` and, when they hold a library, makes it current. The file is not read.
    bool replaceFromBytes(std::string_view bytes);

  private:
    std::filesystem::path container_;
    Reporter& reporter_;
    std::mutex mutex_;
    std::shared_ptr<const CompiledLibrary> library_;
};

}  // namespace orlavine
