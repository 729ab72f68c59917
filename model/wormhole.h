#pragma once
// A message channel between the desktop program and the browser host, over files: each
// identifier has one message file in <shared container>/wormhole, replaced atomically on every
// message. Listeners watch the folder with inotify and receive the bytes of each new message.

#include <sys/types.h>
#include <filesystem>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "model/file_handle.h"
#include "model/folder_watcher.h"
#include "model/result.h"

namespace orlavine {

inline constexpr const char* kStyleDBUpdated = "styleDBUpdated";

class Wormhole {
  public:
    explicit Wormhole(const std::filesystem::path& container);

    // Replaces the message of `identifier` with `bytes`. Identifiers are letters, digits, '-'
    // and '_'. The message file and the folder are never more readable than the library file;
    // temporaries that earlier messages cut short left behind are removed.
    Status passMessage(std::string_view identifier, std::string_view bytes) const;
    // The same, when `copy` is a file that already holds exactly `bytes` and has the inode
    // `inode` (a file just written and not replaced since): the message becomes a second name
    // of that file instead of a second copy of the bytes. Files are only ever replaced whole,
    // never written in place, so the message keeps its bytes when `copy` is replaced later. If
    // `copy` is a symbolic link, the link cannot be made or the file is not the one meant, the
    // bytes are written.
    Status passMessage(std::string_view identifier, std::string_view bytes,
                       const std::filesystem::path& copy, ino_t inode) const;
    // The last message passed under `identifier`, if any; with `keep`, also the descriptor it
    // was read from (messages are replaced whole, so it goes on giving these bytes).
    Result<std::string> message(std::string_view identifier, FileHandle* keep = nullptr) const;

    const std::filesystem::path& folder() const { return folder_; }

  private:
    // The message file of `identifier`, with the folder made and limited to the library's
    // permissions, which `mode` receives.
    Result<std::filesystem::path> prepare(std::string_view identifier,
                                          std::optional<unsigned>& mode) const;

    std::filesystem::path folder_;
    std::filesystem::path library_;
};

// Calls back, on its own thread, with the bytes of every message passed under one identifier
// after it started. Messages that arrive in quick succession may be delivered only once, with
// the latest bytes.
class WormholeListener {
  public:
    using Callback = std::function<void(std::string bytes)>;
    // Also receives the open message file the bytes were read from.
    using FileCallback = std::function<void(std::string bytes, FileHandle file)>;

    static Result<std::unique_ptr<WormholeListener>> start(const std::filesystem::path& container,
                                                           std::string identifier,
                                                           Callback callback);
    static Result<std::unique_ptr<WormholeListener>> startWithFile(
        const std::filesystem::path& container, std::string identifier, FileCallback callback);
    // Stops listening; returns after the last callback has finished.
    ~WormholeListener();
    WormholeListener(const WormholeListener&) = delete;
    WormholeListener& operator=(const WormholeListener&) = delete;

  private:
    WormholeListener(Wormhole wormhole, std::string identifier, FileCallback callback);

    Wormhole wormhole_;
    std::string identifier_;
    FileCallback callback_;
    std::unique_ptr<FolderWatcher> watcher_;
};

}  // namespace orlavine
