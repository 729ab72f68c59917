#pragma once
// Installing a style from a web address, as the import sheet does: catalogue addresses go
// through the catalogue install, addresses of CSS, Stylus and Less files are downloaded and read
// as UserCSS or plain CSS. Failures are told through alerts; nothing partial is stored.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "library/library_services.h"
#include "library/main_thread.h"
#include "model/lifetime_guard.h"

namespace orlavine {

inline constexpr const char* kURLNoRulesTitle = "CSS File Imported With No Rules";
inline constexpr const char* kURLNoRulesText =
    "The style at the URL provided does not have any defined rules for where it should be "
    "applied. If you do not define these rules, the style will be applied to all sites.";

enum class URLImportResult {
    added,              // a catalogue or UserCSS style was added
    addedWithoutRules,  // plain CSS, added as a style for every site
    duplicate,          // the same style is installed already; nothing added
    declined,           // the confirmation said no; nothing added
    failed,             // an alert said why; nothing added
    unreadable,         // the document was fetched but holds no style that reads; no alert
};

struct URLImportOutcome {
    URLImportResult result = URLImportResult::failed;
    std::int64_t uniqueID = 0;  // of the added style
    std::string name;           // of the style found, added or not
};

// Asked with the style about to be added; false leaves the library as it is.
using ConfirmInstall = std::function<bool(const styleContainer&)>;

// Runs the import of the address typed into the import sheet. Meant for a background thread:
// the library, the reporter and the notification centre are safe from any thread.
URLImportOutcome importFromURL(std::string_view address, const LibraryServices& services,
                               const ConfirmInstall& confirm = {});

// The import sheet's run: the import button starts it, and the sheet waits in its loading state
// (button disabled, spinner on) until `finished` reaches the main thread with the outcome; then it
// closes when a style was added, or goes back to its input state.
class URLImportRun {
  public:
    URLImportRun(LibraryServices services, MainThread mainThread = serialisedInline());
    // Cancels a run still going (its download ends at once), drops its callback and joins it.
    ~URLImportRun();
    URLImportRun(const URLImportRun&) = delete;
    URLImportRun& operator=(const URLImportRun&) = delete;

    // Imports `address` on a background thread. False while a run is going.
    bool start(std::string address, std::function<void(const URLImportOutcome&)> finished,
               ConfirmInstall confirm = {});
    bool running() const { return running_.load(); }
    // Blocks until the run has ended (tests and the command line).
    void wait();

  private:
    LibraryServices services_;
    MainThread mainThread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> cancel_{false};
    std::thread thread_;
    LifetimeGuard guard_;
};

// Whether an outcome closes the sheet (a style was added).
inline bool closesImportSheet(URLImportResult result) {
    return result == URLImportResult::added || result == URLImportResult::addedWithoutRules;
}

// The name a style gets from its address: the last path component without its extension.
std::string styleNameForAddress(std::string_view address);

}  // namespace orlavine
