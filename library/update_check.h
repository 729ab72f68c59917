#pragma once
// Checking one installed style against its source and replacing it by a newer version: a
// catalogue style ("usorg") from its catalogue record, a UserCSS style ("usercss") from the
// address it came from. Styles written here ("custom") are never checked.
//
// Checks run on background threads, several at once. Each replacement is one transaction of the
// store; a replacement is made only when the stored
// style still equals the copy the check began with, so an edit made during a check is never
// overwritten (the check then ends in an error and leaves the style as it is).

#include <atomic>
#include <string>

#include "model/records.h"
#include "model/reporter.h"
#include "model/style_store.h"
#include "net/web_download.h"

namespace orlavine {

enum class UpdateOutcome {
    updated,     // a newer version replaced the style in the library file
    upToDate,    // nothing changed
    error,       // the source could not be read; the style was left as it is
    notChecked,  // the style has no source to check
};

// The update sheet checks UserCSS styles by the address they were installed from only, compares
// versions and sections, and does not carry variable values over; a single style's check (the
// style list's rows) also uses "updateURL", compares the whole record, and carries them over.
enum class CheckRules { singleStyle, sheet };

struct UpdateContext {
    StyleStore* store = nullptr;
    Downloader* downloader = nullptr;
    std::string catalogueHost;
    StyleCompiler* compiler = nullptr;  // compiles new versions; none leaves code as read
    Reporter* console = nullptr;        // why checks failed; none says nothing
    // Set to give up: a running download ends and the check reports an error.
    const std::atomic<bool>* abort = nullptr;
};

struct UpdateCheck {
    UpdateOutcome outcome = UpdateOutcome::notChecked;
    std::string name;    // the style's name before the check
    std::string detail;  // why an error happened
};

// The address a UserCSS style is checked from under `rules`, or the empty string.
std::string updateAddress(const styleContainer& style, CheckRules rules);

// Whether `style` would be checked at all under `rules`.
bool isCheckable(const styleContainer& style, CheckRules rules);

// Checks `installed` (a copy of a library style) and replaces it in the library when its
// source has a newer version.
UpdateCheck checkForUpdate(const styleContainer& installed, CheckRules rules,
                           const UpdateContext& context);

}  // namespace orlavine
