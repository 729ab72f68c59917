#pragma once
// How the core hands work to the thread that owns the windows. The desktop program queues the
// work on its event loop; headless callers run it at once, one piece at a time.

#include <functional>
#include <memory>
#include <mutex>

namespace orlavine {

using MainThread = std::function<void(std::function<void()>)>;

// Runs each piece of work at once on the calling thread, never two at the same time.
inline MainThread serialisedInline() {
    auto mutex = std::make_shared<std::recursive_mutex>();
    return [mutex](const std::function<void()>& work) {
        std::lock_guard lock(*mutex);
        work();
    };
}

}  // namespace orlavine
