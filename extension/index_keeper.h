#pragma once
// Writes the library's index (library_index.h) in the background, on time no page needs, so
// that the next host to start reads the index instead of the whole library. Of the libraries
// asked for while one is being written, only the newest is written next.

#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "extension/page_css.h"
#include "model/library_index.h"

namespace orlavine {

class IndexKeeper {
  public:
    explicit IndexKeeper(std::filesystem::path database);
    // Writes the index asked for last, if not done yet, and stops.
    ~IndexKeeper();
    IndexKeeper(const IndexKeeper&) = delete;
    IndexKeeper& operator=(const IndexKeeper&) = delete;

    // Writes the index of `saved`, whose code is in the file `file` names. Nothing is written
    // for a library whose code is not in a file, or when some code text does not read back as
    // the decoder takes it.
    void keep(std::shared_ptr<const CompiledLibrary> saved, LibraryFileIdentity file);
    // Waits until every index asked for so far is written or given up.
    void waitIdle();

  private:
    struct Job {
        std::shared_ptr<const CompiledLibrary> saved;
        LibraryFileIdentity file;
    };

    void work();

    std::filesystem::path database_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::optional<Job> next_;
    bool busy_ = false;
    bool stop_ = false;
    std::thread worker_;  // started by the first keep()
};

}  // namespace orlavine
