#include "app/command_table.h"

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include <charconv>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/cli_session.h"
#include "model/record_json.h"

namespace orlavine {
namespace {

// Runs `command` with the ID typed on the command line, or refuses text that is not one.
template <class Command>
int withID(const std::string& text, Command command) {
    const auto id = parseStyleID(text);
    return id ? command(*id) : kExitUsage;
}

std::optional<std::size_t> positionOf(CliSession& session, std::int64_t id) {
    auto position = session.store().positionByID(id);
    if (!position) {
        fmt::print(stderr, "No style has the ID {}. `orlavine list` shows the IDs.\n", id);
    }
    return position;
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

int setEnabled(CliSession& session, const std::optional<std::string>& idText, bool all,
               bool enabled) {
    if (all == idText.has_value()) {
        fmt::print(stderr, "Give either a style ID or --all.\n");
        return kExitUsage;
    }
    if (all) {
        session.store().setAllEnabled(enabled);
        fmt::print("{} all {} styles.\n", enabled ? "Enabled" : "Disabled",
                   session.store().styleCount());
        return finished(session);
    }
    return withID(*idText, [&](std::int64_t id) {
        auto position = positionOf(session, id);
        if (!position) {
            return kExitFailure;
        }
        session.store().setEnabled(*position, enabled);
        fmt::print("{} {}.\n", enabled ? "Enabled" : "Disabled",
                   session.store().styleByID(id)->styleData.name);
        return finished(session);
    });
}

int duplicateStyle(CliSession& session, std::int64_t id) {
    auto position = positionOf(session, id);
    if (!position) {
        return kExitFailure;
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
        return kExitFailure;
    }
    const std::string name = session.store().styleByID(id)->styleData.name;
    session.store().remove(*position);
    fmt::print("Removed {}.\n", name);
    return finished(session);
}

int renameStyle(CliSession& session, std::int64_t id, const std::string& name) {
    auto position = positionOf(session, id);
    if (!position) {
        return kExitFailure;
    }
    session.store().rename(*position, name);
    fmt::print("Renamed the style to {}.\n", name);
    return finished(session);
}

int showStyle(CliSession& session, std::int64_t id) {
    auto style = session.store().styleByID(id);
    if (!style) {
        positionOf(session, id);
        return kExitFailure;
    }
    fmt::print("{}\n", encodeStyle(*style));
    return finished(session);
}

int mergeFile(CliSession& session, const std::string& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        fmt::print(stderr, "{} is not a file.\n", file);
        return kExitFailure;
    }
    auto outcome = session.store().mergeFromFile(file);
    if (!outcome) {
        fmt::print(stderr, "{}: {}\n", file, outcome.error());
        return kExitFailure;
    }
    fmt::print("Added {} styles; {} were already in the library.\n", outcome->added,
               outcome->skipped);
    return finished(session);
}

int backUp(CliSession& session, const std::string& file) {
    bool ok = false;
    session.store().backUp(file, [&](const Status& status) { ok = status.ok(); });
    if (!session.finish() || !ok) {
        return kExitFailure;
    }
    fmt::print("Backed up {} styles to {}.\n", session.store().styleCount(), file);
    return 0;
}

}  // namespace

void addLibraryCommands(CLI::App& app, CommandTable& table) {
    struct Arguments {
        std::string id;
        std::optional<std::string> optionalId;
        bool all = false;
        std::string text;
    };
    auto args = std::make_shared<Arguments>();

    table.add(app.add_subcommand("list", "List the styles: position, ID, on/off, source, name"),
              [](CliSession& s) { return listStyles(s); });

    auto* enable = app.add_subcommand("enable", "Switch a style on, or all of them with --all");
    auto* disable = app.add_subcommand("disable", "Switch a style off, or all of them with --all");
    for (auto* sub : {enable, disable}) {
        sub->add_option("id", args->optionalId, "The style's ID");
        sub->add_flag("--all", args->all, "Every style of the library");
    }
    table.add(enable,
              [args](CliSession& s) { return setEnabled(s, args->optionalId, args->all, true); });
    table.add(disable,
              [args](CliSession& s) { return setEnabled(s, args->optionalId, args->all, false); });

    auto* duplicate = app.add_subcommand("duplicate", "Add a copy of a style at the end");
    auto* remove = app.add_subcommand("remove", "Remove a style from the library");
    auto* show = app.add_subcommand("show", "Print a style's record as JSON");
    for (auto* sub : {duplicate, remove, show}) {
        sub->add_option("id", args->id, "The style's ID")->required();
    }
    table.add(duplicate, [args](CliSession& s) {
        return withID(args->id, [&](std::int64_t id) { return duplicateStyle(s, id); });
    });
    table.add(remove, [args](CliSession& s) {
        return withID(args->id, [&](std::int64_t id) { return removeStyle(s, id); });
    });
    table.add(show, [args](CliSession& s) {
        return withID(args->id, [&](std::int64_t id) { return showStyle(s, id); });
    });

    auto* rename = app.add_subcommand("rename", "Give a style a new name");
    rename->add_option("id", args->id, "The style's ID")->required();
    rename->add_option("name", args->text, "The new name")->required();
    table.add(rename, [args](CliSession& s) {
        return withID(args->id, [&](std::int64_t id) { return renameStyle(s, id, args->text); });
    });

    auto* merge = app.add_subcommand("merge", "Add the styles of a library file (.sdb)");
    merge->add_option("file", args->text, "The library file")->required();
    table.add(merge, [args](CliSession& s) { return mergeFile(s, args->text); });

    auto* backup = app.add_subcommand("backup", "Write a copy of the library to a file (.sdb)");
    backup->add_option("file", args->text, "Where to write the copy")->required();
    table.add(backup, [args](CliSession& s) { return backUp(s, args->text); });
}

}  // namespace orlavine
