#pragma once
// Calls back, on a thread of its own, with the names of the files of one folder that were
// written or renamed into it (inotify). Names that change in quick succession come in one call.

#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "model/result.h"

namespace orlavine {

class FolderWatcher {
  public:
    using Callback = std::function<void(const std::set<std::string>& names)>;

    // Creates the folder when it is missing.
    static Result<std::unique_ptr<FolderWatcher>> start(const std::filesystem::path& folder,
                                                        Callback callback);
    // Stops watching; returns after the last callback has finished.
    ~FolderWatcher();
    FolderWatcher(const FolderWatcher&) = delete;
    FolderWatcher& operator=(const FolderWatcher&) = delete;

  private:
    FolderWatcher(Callback callback, int inotifyFd, int stopFd);
    void run();

    Callback callback_;
    int inotifyFd_;
    int stopFd_;
    std::thread thread_;
};

}  // namespace orlavine
