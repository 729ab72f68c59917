#include "extension/extension_handler.h"

#include "extension/page_address.h"
#include "model/settings_defaults.h"
#include "model/settings_keys.h"

namespace orlavine {
namespace {

const PageUserInfo kEmptyPair{{"", ""}};

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace

SafariExtensionHandler::SafariExtensionHandler(SettingsStores& settings, CachedLibrary& library,
                                               NotificationCenter& nc, std::string catalogueHost)
    : defaults_(settings.extension),
      shareddefaults_(settings.shared),
      library_(library),
      nc_(nc),
      catalogueHost_(std::move(catalogueHost)) {
    registerExtensionDefaults(settings);
}

std::string SafariExtensionHandler::pageCSS(const std::string& address, bool isFrame) {
    return assemblePageCSS(*library_.current(), address, isFrame,
                           defaults_.boolValue(keys::kEnableStyles));
}

bool SafariExtensionHandler::toggleStyles() {
    if (!shareddefaults_.boolValue(keys::kToggleShortcut)) {
        return false;
    }
    const bool enabled = !defaults_.boolValue(keys::kEnableStyles);
    (void)defaults_.set(keys::kEnableStyles, enabled);
    nc_.post(kToggleStylesNotification);
    return true;
}

std::vector<PageDispatch> SafariExtensionHandler::messageReceived(const PageMessage& message) {
    std::vector<PageDispatch> out;
    if (!message.pageURL) {
        out.push_back({"removeHideElement", {}});
        return out;
    }
    const std::string& url = *message.pageURL;
    const std::string& name = message.name;
    if (name == "urlChanged") {
        out.push_back({"urlChanged", {}});
    }
    if (name == "toggleStyles") {
        if (!toggleStyles()) {
            return out;
        }
        out.push_back({"updateCSS", kEmptyPair});
    }
    if (name == "getCSS") {
        out.push_back({"returnCSS", {}});
        out.back().userInfo.emplace("css", pageCSS(url, false));
    } else if (name == "updateCSS") {
        out.push_back({"newCSS", {}});
        out.back().userInfo.emplace("css", pageCSS(url, false));
    }
    if (endsWith(url, ".user.css") || endsWith(url, ".user.styl") || endsWith(url, ".user.less")) {
        out.push_back({"userCSS", {}});
    }
    if (url.find(catalogueHost_ + "/styles") != std::string::npos &&
        url.find(catalogueHost_ + "/styles/browse") == std::string::npos) {
        out.push_back({"injectButton", {}});
    }
    if ((name == "iframeCSS" || name == "updateiFrame") && message.userInfo) {
        const auto found = message.userInfo->find("url");
        if (found == message.userInfo->end()) {
            return out;
        }
        const std::string& frameText = found->second;
        if (!readPageAddress(frameText).valid) {
            return out;
        }
        // A frame whose document the page wrote itself (about:blank, about:srcdoc) is styled
        // for the page's own address.
        const std::string& address = isPageWrittenFrame(frameText) ? url : frameText;
        out.push_back({name == "iframeCSS" ? "cssIframe" : "newIframe", {{"url", frameText}}});
        out.back().userInfo.emplace("css", pageCSS(address, true));
    }
    return out;
}

PopoverState SafariExtensionHandler::popoverState(const std::optional<std::string>& pageURL) {
    PopoverState state;
    state.enableStyles = defaults_.boolValue(keys::kEnableStyles);
    if (state.enableStyles && pageURL) {
        state.styles = library_.current()->activeStyles(*pageURL);
    }
    return state;
}

PopoverState SafariExtensionHandler::setEnableStyles(bool enabled,
                                                     const std::optional<std::string>& pageURL) {
    (void)defaults_.set(keys::kEnableStyles, enabled);
    return popoverState(pageURL);
}

}  // namespace orlavine
