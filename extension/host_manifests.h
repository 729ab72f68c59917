#pragma once
// The per-user native-messaging manifests that tell each browser where the host program is.

#include <filesystem>
#include <string>
#include <vector>

#include "model/result.h"

namespace orlavine {

inline constexpr const char* kNativeHostName = "org.orlavine.host";
// The extension's fixed identity: Chromium-family ID (from the manifest key) and Firefox ID.
inline constexpr const char* kChromiumExtensionID = "edhdgajcggagafhfkmiibmlpfgedoonb";
inline constexpr const char* kFirefoxExtensionID = "extension@orlavine.org";

struct BrowserManifestPlace {
    std::string browser;
    std::filesystem::path folder;  // NativeMessagingHosts folder of that browser
    bool firefox = false;
};

// The folders of Chromium, Google Chrome, Brave, Vivaldi, Microsoft Edge and Firefox under
// $XDG_CONFIG_HOME (or ~/.config) and ~/.mozilla.
std::vector<BrowserManifestPlace> manifestPlaces();

// The manifest text for one browser, pointing at the host program `hostPath`.
std::string manifestText(const std::filesystem::path& hostPath, bool firefox);

// Writes (or removes) the manifest in every place; returns one line per place for the user.
Result<std::vector<std::string>> installManifests(const std::filesystem::path& hostPath);
Result<std::vector<std::string>> uninstallManifests();

}  // namespace orlavine
