#pragma once
// Configuration values of the product. Tests may override the catalogue host and the trusted
// certificate file through the application settings (keys below).

#include <string>

#include "model/settings_store.h"

namespace orlavine {

inline constexpr const char* AppGroupIdentifier = "orlavine";
inline constexpr const char* CatalogueHost = "userstyles.org";
inline constexpr const char* SupportAddress = "support@orlavine.org";
inline constexpr const char* ProductSiteURL = "https://orlavine.org";
inline constexpr const char* CloudContainerIdentifier = "orlavine-library";
inline constexpr const char* ExtensionBundleIdentifier = "org.orlavine.host";

// Settings keys that override the values above.
inline constexpr const char* kCatalogueHostKey = "CatalogueHost";
inline constexpr const char* kCertificateFileKey = "CAFile";

// The catalogue host in force: the "CatalogueHost" setting when set, else CatalogueHost.
std::string catalogueHost(const SettingsStore& appSettings);

}  // namespace orlavine
