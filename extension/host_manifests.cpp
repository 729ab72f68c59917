#include "extension/host_manifests.h"

#include <boost/json.hpp>
#include <cstdlib>

#include "model/atomic_file.h"

namespace orlavine {
namespace {

std::filesystem::path home() {
    const char* value = std::getenv("HOME");
    return value != nullptr ? std::filesystem::path(value) : std::filesystem::path("/");
}

std::filesystem::path configHome() {
    const char* value = std::getenv("XDG_CONFIG_HOME");
    if (value != nullptr && *value == '/') {
        return value;
    }
    return home() / ".config";
}

std::filesystem::path manifestFile(const BrowserManifestPlace& place) {
    return place.folder / (std::string(kNativeHostName) + ".json");
}

}  // namespace

std::vector<BrowserManifestPlace> manifestPlaces() {
    const auto config = configHome();
    return {
        {"Chromium", config / "chromium/NativeMessagingHosts", false},
        {"Google Chrome", config / "google-chrome/NativeMessagingHosts", false},
        {"Brave", config / "BraveSoftware/Brave-Browser/NativeMessagingHosts", false},
        {"Vivaldi", config / "vivaldi/NativeMessagingHosts", false},
        {"Microsoft Edge", config / "microsoft-edge/NativeMessagingHosts", false},
        {"Firefox", home() / ".mozilla/native-messaging-hosts", true},
    };
}

std::string manifestText(const std::filesystem::path& hostPath, bool firefox) {
    boost::json::object manifest;
    manifest["name"] = kNativeHostName;
    manifest["description"] = "Orlavine: user styles for every page";
    manifest["path"] = hostPath.string();
    manifest["type"] = "stdio";
    if (firefox) {
        manifest["allowed_extensions"] = boost::json::array{kFirefoxExtensionID};
    } else {
        manifest["allowed_origins"] =
            boost::json::array{std::string("chrome-extension://") + kChromiumExtensionID + "/"};
    }
    return boost::json::serialize(manifest) + "\n";
}

Result<std::vector<std::string>> installManifests(const std::filesystem::path& hostPath) {
    std::vector<std::string> lines;
    for (const BrowserManifestPlace& place : manifestPlaces()) {
        const auto file = manifestFile(place);
        if (Status written = writeFileAtomically(file, manifestText(hostPath, place.firefox));
            !written) {
            return Error{place.browser + ": " + written.error()};
        }
        lines.push_back(place.browser + ": " + file.string());
    }
    return lines;
}

Result<std::vector<std::string>> uninstallManifests() {
    std::vector<std::string> lines;
    for (const BrowserManifestPlace& place : manifestPlaces()) {
        const auto file = manifestFile(place);
        std::error_code ec;
        if (std::filesystem::remove(file, ec)) {
            lines.push_back(place.browser + ": removed " + file.string());
        } else if (ec) {
            return Error{place.browser + ": cannot remove " + file.string() + ": " + ec.message()};
        }
    }
    return lines;
}

}  // namespace orlavine
