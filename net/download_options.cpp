#include "net/download_options.h"

#include "model/config.h"

namespace orlavine {

DownloadOptions downloadOptions(const SettingsStore& appSettings) {
    DownloadOptions options;
    options.certificateFile = appSettings.stringValue(kCertificateFileKey);
    return options;
}

}  // namespace orlavine
