#include "library/url_import.h"

#include <boost/url/parse.hpp>

#include <optional>
#include <utility>

#include "formats/moz_document_reader.h"
#include "formats/usercss_reader.h"
#include "library/catalogue_install.h"
#include "library/style_import.h"
#include "model/config.h"
#include "model/style_factory.h"
#include "text/text.h"

namespace orlavine {
namespace {

bool namesStyleFile(std::string_view address) {
    return text::contains(address, ".css") || text::contains(address, ".styl") ||
           text::contains(address, ".less");
}

// An error or landing page served in place of a style file.
bool looksLikeHTML(std::string_view text) {
    const std::string lower = text::asciiLower(text::trimmed(text).substr(0, 15));
    return lower.starts_with("<!doctype html") || lower.starts_with("<html");
}

}  // namespace

std::string styleNameForAddress(std::string_view address) {
    std::string path(address);
    std::string host;
    if (auto url = boost::urls::parse_uri_reference(address)) {
        // "My%20Theme.css" is named "My Theme", unless the escapes make no UTF-8 text.
        std::string decoded = url->path();
        path = text::isValidUtf8(decoded) ? std::move(decoded) : std::string(url->encoded_path());
        host = url->encoded_host();
    }
    while (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    std::string name = path.substr(path.rfind('/') + 1);  // npos + 1 is 0
    if (const auto dot = name.rfind('.'); dot != std::string::npos && dot > 0) {
        name.erase(dot);
    }
    return name.empty() ? host : name;
}

URLImportOutcome importFromURL(std::string_view address, const LibraryServices& services,
                               const ConfirmInstall& confirm) {
    std::optional<styleContainer> style;
    bool withoutRules = false;
    if (text::contains(address, catalogueHost(services.appSettings))) {
        style = installFromCatalogue(address, services);
        if (!style) {
            return URLImportOutcome{};
        }
    } else if (namesStyleFile(address)) {
        if (services.downloader == nullptr) {
            services.reporter.showAlert(kUnknownErrorTitle, unknownErrorText());
            return URLImportOutcome{};
        }
        Result<std::string> text = fetchText(address, *services.downloader, services.cancel);
        if (text && looksLikeHTML(*text)) {
            text = Error{"The address holds a web page, not a style."};
        }
        if (!text) {
            services.reporter.consoleLine(std::string(address) + ": " + text.error());
            services.reporter.showAlert(kErrorGettingStyleTitle, kErrorGettingStyleText);
            return URLImportOutcome{};
        }
        if (isUserCSSDocument(*text)) {
            UserCSSReadHooks hooks;
            hooks.newUniqueID = [&services] {
                return services.store.read([](const styleDatabase& db) { return newUniqueID(db); });
            };
            hooks.console = &services.reporter;
            style = readAndCompileUserCSS(*text, hooks, services.compiler);
            if (!style) {
                // Back to the input, without an alert; the console lines say what did not read.
                URLImportOutcome unreadable;
                unreadable.result = URLImportResult::unreadable;
                return unreadable;
            }
            if (style->styleData.name == kUnnamedUserCSSStyle) {
                style->styleData.name = styleNameForAddress(address);
            }
            // Remembered so that the style can be checked for updates from where it came.
            style->downloadedFrom = std::string(address);
        } else {
            style = plainStyle(styleNameForAddress(address), *text);
            withoutRules = true;
        }
    } else {
        services.reporter.showAlert(kUnsupportedURLTitle, kUnsupportedURLText);
        return URLImportOutcome{};
    }

    URLImportOutcome outcome;
    outcome.name = style->styleData.name;
    if (isAlreadyInstalled(services.store, *style)) {
        services.reporter.showAlert(kDuplicateStyleTitle, duplicateStyleText(outcome.name));
        outcome.result = URLImportResult::duplicate;
        return outcome;
    }
    if (confirm && !confirm(*style)) {
        outcome.result = URLImportResult::declined;
        return outcome;
    }
    const Result<std::int64_t> id = services.store.add(std::move(*style));
    if (!id) {
        outcome.result = URLImportResult::failed;
        return outcome;
    }
    if (withoutRules) {
        services.reporter.showAlert(kURLNoRulesTitle, kURLNoRulesText);
    }
    outcome.uniqueID = *id;
    if (services.notifications != nullptr) {
        services.notifications->post(notifications::kAddLatestStyle);
    }
    outcome.result = withoutRules ? URLImportResult::addedWithoutRules : URLImportResult::added;
    return outcome;
}

URLImportRun::URLImportRun(LibraryServices services, MainThread mainThread)
    : services_(services), mainThread_(std::move(mainThread)) {
    services_.cancel = &cancel_;
}

URLImportRun::~URLImportRun() {
    cancel_ = true;
    guard_.invalidate();
    wait();
}

void URLImportRun::wait() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

bool URLImportRun::start(std::string address, std::function<void(const URLImportOutcome&)> finished,
                         ConfirmInstall confirm) {
    if (thread_.joinable() && thread_.get_id() == std::this_thread::get_id()) {
        return false;  // from inside the last run's own callback, on its thread
    }
    if (running_.exchange(true)) {
        return false;
    }
    wait();  // the previous run has ended its work already
    thread_ = std::thread([this, address = std::move(address), finished = std::move(finished),
                           confirm = std::move(confirm)] {
        const URLImportOutcome outcome = importFromURL(address, services_, confirm);
        running_ = false;
        mainThread_(guard_.guarded([finished, outcome] {
            if (finished) {
                finished(outcome);
            }
        }));
    });
    return true;
}

}  // namespace orlavine
