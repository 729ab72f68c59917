#include "model/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace orlavine {
namespace {

std::filesystem::path environmentPath(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return {};
    }
    return value;
}

std::filesystem::path homeDirectory() {
    if (auto home = environmentPath("HOME"); !home.empty()) {
        return home;
    }
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return std::filesystem::temp_directory_path();
}

std::filesystem::path xdgFolder(const char* variable, const char* fallback) {
    if (auto base = environmentPath(variable); !base.empty() && base.is_absolute()) {
        return base / "orlavine";
    }
    return homeDirectory() / fallback / "orlavine";
}

}  // namespace

std::filesystem::path sharedContainer() {
    if (auto home = environmentPath("ORLAVINE_HOME"); !home.empty()) {
        return home;
    }
    return xdgFolder("XDG_DATA_HOME", ".local/share");
}

std::filesystem::path configDirectory() {
    if (auto config = environmentPath("ORLAVINE_CONFIG"); !config.empty()) {
        return config;
    }
    return xdgFolder("XDG_CONFIG_HOME", ".config");
}

std::filesystem::path cacheDirectory() {
    return xdgFolder("XDG_CACHE_HOME", ".cache");
}

}  // namespace orlavine
