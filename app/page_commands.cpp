// `orlavine css URL [--frame]`: the CSS a page would get, for people writing styles.

#include <fmt/format.h>

#include <memory>
#include <string>

#include "app/command_table.h"
#include "extension/cached_library.h"
#include "extension/page_css.h"
#include "model/settings_defaults.h"
#include "model/settings_keys.h"

namespace orlavine {
namespace {

int printPageCSS(CliSession& session, const std::string& address, bool frame) {
    const bool enabled = session.settings().extension.boolValue(keys::kEnableStyles);
    if (!enabled) {
        fmt::print(stderr, "All styles are switched off in the browser.\n");
    }
    // Read as the browser host reads it: from the index and the code the page needs.
    CachedLibrary library(session.store().databaseFile().parent_path(), session.reporter(), false);
    fmt::print("{}", assemblePageCSS(*library.current(), address, frame, enabled));
    return finished(session);
}

}  // namespace

void addPageCommands(CLI::App& app, CommandTable& table) {
    struct Arguments {
        std::string address;
        bool frame = false;
    };
    auto args = std::make_shared<Arguments>();
    auto* css = app.add_subcommand("css", "Print the CSS that a page would get");
    css->add_option("url", args->address, "The page's address")->required();
    css->add_flag("--frame", args->frame, "As a frame inside a page");
    table.addReadingLater(
        css, [args](CliSession& s) { return printPageCSS(s, args->address, args->frame); });
}

}  // namespace orlavine
