#pragma once
// Live preview of styles being edited: each working copy is compiled (without alerts or error
// windows) and sent to the browser host, which shows it in place of the saved style until the
// preview ends. When a working copy does not compile, the last copy that did stays shown. The
// library file is never written.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>

#include "model/records.h"
#include "model/result.h"
#include "model/wormhole.h"

namespace orlavine {

class LivePreview {
  public:
    // Refreshes a working copy's compiled code; false when it did not compile.
    using Compile = std::function<bool(styleContainer&)>;

    // Previews left behind by a program that ended without ending them are ignored by the host
    // (the message names its sender), so nothing is sent at the start.
    LivePreview(const std::filesystem::path& container, Compile compile);
    // Ends this program's previews.
    ~LivePreview();
    LivePreview(const LivePreview&) = delete;
    LivePreview& operator=(const LivePreview&) = delete;

    // Shows `working` in place of the saved style of its uniqueID. Compiles, so it belongs on a
    // background thread; calls may come from several at once.
    Status show(styleContainer working);
    // The saved style shows again.
    Status end(std::int64_t uniqueID);
    bool showing(std::int64_t uniqueID) const;

  private:
    Status send();  // with mutex_ held

    Wormhole wormhole_;
    Compile compile_;
    std::mutex compileMutex_;  // one compile at a time
    mutable std::mutex mutex_;
    std::map<std::int64_t, styleContainer> shown_;  // the copies shown, by uniqueID
    // Counts the shows and ends of each style: a compile whose show is no longer the latest
    // (the style's preview ended, or a newer copy came while it compiled) is dropped, so an
    // older copy never replaces a newer one.
    std::map<std::int64_t, std::uint64_t> generation_;
};

}  // namespace orlavine
