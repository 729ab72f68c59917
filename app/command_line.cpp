#include "app/command_line.h"

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <string>

#include "app/cli_session.h"
#include "model/record_json.h"

namespace orlavine {
namespace {

constexpr int kFailure = 1;

std::optional<std::size_t> positionOf(CliSession& session, std::int64_t id) {
    auto position = session.store().positionByID(id);
    if (!position) {
        fmt::print(stderr, "No style has the ID {}. `orlavine list` shows the IDs.\n", id);
    }
    return position;
}

int finished(CliSession& session, int status = 0) {
    if (!session.finish()) {
        return kFailure;
    }
    return status;
}

int listStyles(CliSession& session) {
    const styleDatabase db = session.store().snapshot();
    if (db.styles.empty()) {
        fmt::print("The library has no styles.\n");
        return finished(session);
    }
    fmt::print("{:>4}  {:>10}  {:<3}  {:<7}  {}\n", "#", "ID", "On", "Source", "Name");
    for (std::size_t i = 0; i < db.styles.size(); ++i) {
        const styleContainer& s = db.styles[i];
        fmt::print("{:>4}  {:>10}  {:<3}  {:<7}  {}\n", i, s.uniqueID, s.isEnabled ? "on" : "off",
                   s.source, s.styleData.name);
    }
    return finished(session);
}

int setEnabled(CliSession& session, std::optional<std::int64_t> id, bool all, bool enabled) {
    if (all == id.has_value()) {
        fmt::print(stderr, "Give either a style ID or --all.\n");
        return 2;
    }
    if (all) {
        session.store().setAllEnabled(enabled);
        fmt::print("{} all {} styles.\n", enabled ? "Enabled" : "Disabled",
                   session.store().styleCount());
        return finished(session);
    }
    auto position = positionOf(session, *id);
    if (!position) {
        return kFailure;
    }
    session.store().setEnabled(*position, enabled);
    return finished(session);
}

int duplicateStyle(CliSession& session, std::int64_t id) {
    auto position = positionOf(session, id);
    if (!position) {
        return kFailure;
    }
    session.store().duplicate(*position);
    const styleDatabase db = session.store().snapshot();
    fmt::print("Added {} with ID {}.\n", db.styles.back().styleData.name,
               db.styles.back().uniqueID);
    return finished(session);
}

int removeStyle(CliSession& session, std::int64_t id) {
    auto position = positionOf(session, id);
    if (!position) {
        return kFailure;
    }
    const std::string name = session.store().styleByID(id)->styleData.name;
    session.store().remove(*position);
    fmt::print("Removed {}.\n", name);
    return finished(session);
}

int renameStyle(CliSession& session, std::int64_t id, const std::string& name) {
    auto position = positionOf(session, id);
    if (!position) {
        return kFailure;
    }
    session.store().rename(*position, name);
    return finished(session);
}

int showStyle(CliSession& session, std::int64_t id) {
    auto style = session.store().styleByID(id);
    if (!style) {
        positionOf(session, id);
        return kFailure;
    }
    fmt::print("{}\n", encodeStyle(*style));
    return finished(session);
}

int mergeFile(CliSession& session, const std::string& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        fmt::print(stderr, "{} is not a file.\n", file);
        return kFailure;
    }
    auto outcome = session.store().mergeFromFile(file);
    if (!outcome) {
        fmt::print(stderr, "{}: {}\n", file, outcome.error());
        return kFailure;
    }
    fmt::print("Added {} styles; {} were already in the library.\n", outcome->added,
               outcome->skipped);
    return finished(session);
}

int backUp(CliSession& session, const std::string& file) {
    bool ok = false;
    session.store().backUp(file, [&](const Status& status) { ok = status.ok(); });
    if (!session.finish() || !ok) {
        return kFailure;
    }
    fmt::print("Backed up {} styles to {}.\n", session.store().styleCount(), file);
    return 0;
}

}  // namespace

int runCommandLine(int argc, char** argv) {
    CLI::App app{"Orlavine keeps a library of user styles and serves them to the browser."};
    app.set_version_flag("--version", ORLAVINE_VERSION);
    app.require_subcommand(0, 1);

    std::int64_t id = 0;
    std::optional<std::int64_t> optionalId;
    bool all = false;
    std::string text;

    auto* list = app.add_subcommand("list", "List the styles: position, ID, on/off, source, name");
    auto* enable = app.add_subcommand("enable", "Switch a style on, or all of them with --all");
    auto* disable = app.add_subcommand("disable", "Switch a style off, or all of them with --all");
    for (auto* sub : {enable, disable}) {
        sub->add_option("id", optionalId, "The style's ID");
        sub->add_flag("--all", all, "Every style of the library");
    }
    auto* duplicate = app.add_subcommand("duplicate", "Add a copy of a style at the end");
    auto* remove = app.add_subcommand("remove", "Remove a style from the library");
    auto* show = app.add_subcommand("show", "Print a style's record as JSON");
    for (auto* sub : {duplicate, remove, show}) {
        sub->add_option("id", id, "The style's ID")->required();
    }
    auto* rename = app.add_subcommand("rename", "Give a style a new name");
    rename->add_option("id", id, "The style's ID")->required();
    rename->add_option("name", text, "The new name")->required();
    auto* merge = app.add_subcommand("merge", "Add the styles of a library file (.sdb)");
    merge->add_option("file", text, "The library file")->required();
    auto* backup = app.add_subcommand("backup", "Write a copy of the library to a file (.sdb)");
    backup->add_option("file", text, "Where to write the copy")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }

    if (app.get_subcommands().empty()) {
        fmt::print("{}\n", app.help());
        fmt::print(stderr,
                   "The desktop windows are not part of this build yet; use a subcommand.\n");
        return 2;
    }

    CliSession session;
    if (list->parsed())
        return listStyles(session);
    if (enable->parsed())
        return setEnabled(session, optionalId, all, true);
    if (disable->parsed())
        return setEnabled(session, optionalId, all, false);
    if (duplicate->parsed())
        return duplicateStyle(session, id);
    if (remove->parsed())
        return removeStyle(session, id);
    if (rename->parsed())
        return renameStyle(session, id, text);
    if (show->parsed())
        return showStyle(session, id);
    if (merge->parsed())
        return mergeFile(session, text);
    if (backup->parsed())
        return backUp(session, text);
    return 2;
}

}  // namespace orlavine
