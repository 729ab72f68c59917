#pragma once
// Where the library, the settings and the caches live.

#include <filesystem>

namespace orlavine {

// The folder both programs share: $ORLAVINE_HOME, else $XDG_DATA_HOME/orlavine, else
// ~/.local/share/orlavine. Holds the database file, its pre-sync copy and the wormhole.
std::filesystem::path sharedContainer();
// The settings folder: $ORLAVINE_CONFIG, else $XDG_CONFIG_HOME/orlavine, else ~/.config/orlavine.
std::filesystem::path configDirectory();
// The cache folder: $XDG_CACHE_HOME/orlavine, else ~/.cache/orlavine.
std::filesystem::path cacheDirectory();

inline constexpr const char* kDatabaseFileName = "styledb.sdb";
inline constexpr const char* kPreCloudFileName = "styledb-pre-icloud.sdb";
inline constexpr const char* kWormholeDirectoryName = "wormhole";

}  // namespace orlavine
