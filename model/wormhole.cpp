#include "model/wormhole.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "model/atomic_file.h"
#include "model/folder_watcher.h"
#include "model/paths.h"
#include "model/record_json.h"

namespace orlavine {
namespace {

constexpr const char* kMessageSuffix = ".message";

bool validIdentifier(std::string_view identifier) {
    return !identifier.empty() && identifier.size() <= 128 &&
           std::all_of(identifier.begin(), identifier.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '_';
           });
}

}  // namespace

Wormhole::Wormhole(const std::filesystem::path& container)
    : folder_(container / kWormholeDirectoryName) {}

Status Wormhole::passMessage(std::string_view identifier, std::string_view bytes) const {
    if (!validIdentifier(identifier)) {
        return Error{"invalid message identifier"};
    }
    return writeFileAtomically(folder_ / (std::string(identifier) + kMessageSuffix), bytes);
}

Result<std::string> Wormhole::message(std::string_view identifier) const {
    if (!validIdentifier(identifier)) {
        return Error{"invalid message identifier"};
    }
    return readWholeFile(folder_ / (std::string(identifier) + kMessageSuffix), kMaxDatabaseBytes);
}

Result<std::unique_ptr<WormholeListener>> WormholeListener::start(
    const std::filesystem::path& container, std::string identifier, Callback callback) {
    if (!validIdentifier(identifier)) {
        return Error{"invalid message identifier"};
    }
    auto listener = std::unique_ptr<WormholeListener>(
        new WormholeListener(Wormhole(container), std::move(identifier), std::move(callback)));
    const std::string fileName = listener->identifier_ + kMessageSuffix;
    WormholeListener* self = listener.get();
    auto watcher =
        FolderWatcher::start(self->wormhole_.folder(), [self, fileName](const auto& names) {
            if (names.contains(fileName)) {
                if (auto bytes = self->wormhole_.message(self->identifier_)) {
                    self->callback_(std::move(bytes).value());
                }
            }
        });
    if (!watcher) {
        return Error{watcher.error()};
    }
    listener->watcher_ = std::move(watcher).value();
    return listener;
}

WormholeListener::WormholeListener(Wormhole wormhole, std::string identifier, Callback callback)
    : wormhole_(std::move(wormhole)),
      identifier_(std::move(identifier)),
      callback_(std::move(callback)) {}

WormholeListener::~WormholeListener() {
    watcher_.reset();
}

}  // namespace orlavine
