#pragma once
// Answers the page script: the CSS of each page and frame, the styles switch of the keyboard
// shortcut, and the offers to install UserCSS documents and catalogue styles.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "extension/cached_library.h"
#include "model/notification_center.h"
#include "model/settings_store.h"

namespace orlavine {

using PageUserInfo = std::map<std::string, std::string>;

// A message from a page or frame. `pageURL` is the top-level page's address, absent for pages
// that have none; `userInfo` holds the message's string entries, absent when none came.
struct PageMessage {
    std::string name;
    std::optional<std::string> pageURL;
    std::optional<PageUserInfo> userInfo;
};

// A message for the page script.
struct PageDispatch {
    std::string name;
    PageUserInfo userInfo;
    bool operator==(const PageDispatch&) const = default;
};

// What the toolbar popup shows for a page.
struct PopoverState {
    bool enableStyles = true;
    std::vector<styleKeys> styles;
};

inline constexpr const char* kToggleStylesNotification = "toggleStyles";
inline constexpr const char* kRefreshCSSNotification = "refreshCSS";

class SafariExtensionHandler {
  public:
    // Registers the "enableStyles" default.
    SafariExtensionHandler(SettingsStores& settings, CachedLibrary& library, NotificationCenter& nc,
                           std::string catalogueHost);

    // The dispatches for one page message, in order (possibly none).
    std::vector<PageDispatch> messageReceived(const PageMessage& message);

    PopoverState popoverState(const std::optional<std::string>& pageURL);
    PopoverState setEnableStyles(bool enabled, const std::optional<std::string>& pageURL);

  private:
    std::string pageCSS(const std::string& address, bool isFrame);
    bool toggleStyles();

    SettingsStore& defaults_;
    SettingsStore& shareddefaults_;
    CachedLibrary& library_;
    NotificationCenter& nc_;
    std::string catalogueHost_;
};

}  // namespace orlavine
