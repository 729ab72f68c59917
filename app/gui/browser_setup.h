#pragma once
// What the browser setup window knows: which supported browsers are installed, whether each
// knows where the browser host is, and where the extension's folder is.

#include <QString>
#include <vector>

#include "extension/host_manifests.h"
#include "model/result.h"

namespace orlavine::gui {

struct BrowserState {
    BrowserManifestPlace place;
    bool installed = false;  // the browser's program is on the PATH
    bool connected = false;  // its host manifest is there
};

std::vector<BrowserState> browserStates();

// The browser host program next to this one.
QString hostProgram();
// The unpacked extension shipped with this program, or an empty string when it is not found.
QString extensionFolder();

// Tells one browser where the browser host is (what `orlavine-extension --install` does for
// every browser).
Status connectBrowser(const BrowserManifestPlace& place);

// Whether any browser has been told where the host is.
bool anyBrowserConnected();

}  // namespace orlavine::gui
