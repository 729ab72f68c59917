// `orlavine open ID`: hands the style to the desktop application (starting it when it is not
// running), as the browser's "open in Orlavine" does.
#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include <memory>
#include <string>

#include "app/command_table.h"
#include "extension/app_launcher.h"
#include "text/text.h"

namespace orlavine {
namespace {

int openStyle(CliSession& session, const std::string& idText) {
    int status = 0;
    const std::optional<styleContainer> style = styleForID(session, idText, status);
    if (!style) {
        return status;
    }
    const Status launched =
        launchApplication({"orlavine://openstyle/" + std::to_string(style->uniqueID)});
    if (!launched) {
        fmt::print(stderr, "Cannot start the desktop application: {}\n", launched.error());
        return kExitFailure;
    }
    fmt::print("Opening {} in the desktop application.\n",
               text::forTerminal(style->styleData.name));
    return finished(session);
}

}  // namespace

void addOpenCommand(CLI::App& app, CommandTable& table) {
    auto id = std::make_shared<std::string>();
    auto* open = app.add_subcommand("open", "Open a style in the desktop application");
    open->add_option("id", *id, "The style's ID")->required();
    table.add(open, [id](CliSession& s) { return openStyle(s, *id); });
}

}  // namespace orlavine
