#pragma once
// What creating and importing styles works with: the library, the application's settings, the
// place alerts go, and the optional notification centre and compiler.

#include <atomic>

#include "model/notification_center.h"
#include "model/reporter.h"
#include "model/settings_store.h"
#include "model/style_store.h"
#include "net/web_download.h"

namespace orlavine {

struct LibraryServices {
    StyleStore& store;
    SettingsStore& appSettings;                   // "DefaultAuthor", "isFirstStyle", ...
    Reporter& reporter;                           // alerts and console lines
    NotificationCenter* notifications = nullptr;  // none: nothing is posted
    StyleCompiler* compiler = nullptr;            // none: code is left as read
    Downloader* downloader = nullptr;             // none: nothing can be fetched
    // Set to give up: a download in flight ends with an error.
    const std::atomic<bool>* cancel = nullptr;
};

namespace notifications {
inline constexpr const char* kAddToOpenStyles = "addToOpenStyles";
}  // namespace notifications

}  // namespace orlavine
