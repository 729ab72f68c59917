#include "library/live_preview.h"

#include <unistd.h>

#include <utility>

#include "model/style_preview.h"

namespace orlavine {

LivePreview::LivePreview(const std::filesystem::path& container, Compile compile)
    : wormhole_(container), compile_(std::move(compile)) {}

LivePreview::~LivePreview() {
    std::lock_guard lock(mutex_);
    if (!shown_.empty()) {
        shown_.clear();
        (void)send();
    }
}

Status LivePreview::show(styleContainer working) {
    const std::int64_t id = working.uniqueID;
    std::uint64_t started = 0;
    {
        std::lock_guard lock(mutex_);
        started = ++generation_[id];
    }
    bool compiled = false;
    {
        std::lock_guard compiling(compileMutex_);
        compiled = compile_(working);
    }
    std::lock_guard lock(mutex_);
    if (generation_[id] != started) {
        return Done{};  // ended, or a newer copy came, meanwhile
    }
    if (!compiled) {
        return Done{};  // the last good copy stays
    }
    shown_[id] = std::move(working);
    return send();
}

Status LivePreview::end(std::int64_t uniqueID) {
    std::lock_guard lock(mutex_);
    ++generation_[uniqueID];
    if (shown_.erase(uniqueID) == 0) {
        return Done{};
    }
    return send();
}

bool LivePreview::showing(std::int64_t uniqueID) const {
    std::lock_guard lock(mutex_);
    return shown_.contains(uniqueID);
}

Status LivePreview::send() {
    StylePreviews previews;
    previews.sender = ::getpid();
    for (const auto& entry : shown_) {
        previews.styles.push_back(entry.second);
    }
    return wormhole_.passMessage(kStylePreview, encodePreviews(previews));
}

}  // namespace orlavine
