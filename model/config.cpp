#include "model/config.h"

namespace orlavine {

std::string catalogueHost(const SettingsStore& appSettings) {
    std::string host = appSettings.stringValue(kCatalogueHostKey);
    return host.empty() ? CatalogueHost : host;
}

}  // namespace orlavine
