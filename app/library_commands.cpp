#include "app/command_table.h"
#include "text/text.h"

#include <fmt/format.h>
#include <CLI/CLI.hpp>
#include <boost/json/array.hpp>
#include <boost/json/object.hpp>

#include <charconv>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/cli_session.h"
#include "app/json_output.h"
#include "model/library_index.h"
#include "model/record_json.h"

namespace orlavine {
namespace {

// Runs `command` with the ID typed on the command line, or refuses text that is not one.
template <class Command>
int withID(const std::string& text, Command command) {
    const auto id = parseStyleID(text);
    return id ? command(*id) : kExitUsage;
}

int noSuchStyle(std::int64_t id) {
    fmt::print(stderr, "No style has the ID {}. `orlavine list` shows the IDs.\n", id);
    return kExitFailure;
}

// The status of a command whose change was `outcome`: a failed write was told by the store; a
// style that is not there is told here. Success is printed by the caller only after the write.
template <class T>
std::optional<int> failureOf(const Result<T>& outcome, std::int64_t id, bool found) {
    if (!outcome) {
        fmt::print(stderr, "The library was not changed: {}\n", outcome.error());
        return kExitFailure;
    }
    if (!found) {
        return noSuchStyle(id);
    }
    return std::nullopt;
}

// The style's name as stored, or nothing when it is not there; without decoding any code.
std::string styleName(CliSession& session, std::int64_t id) {
    return session.store().readSummary([id](const styleDatabase& db) {
        for (const styleContainer& s : db.styles) {
            if (s.uniqueID == id) {
                return s.styleData.name;
            }
        }
        return std::string();
    });
}

boost::json::object styleSummary(const styleContainer& s, std::size_t position) {
    return {{"position", position},          {"id", s.uniqueID},   {"name", s.styleData.name},
            {"enabled", s.isEnabled},        {"source", s.source}, {"version", s.version},
            {"preprocessor", s.preprocessor}};
}

int listStyles(CliSession& session, bool json) {
    const auto print = [json](const styleDatabase& db) {
        if (json) {
            boost::json::array styles;
            for (std::size_t i = 0; i < db.styles.size(); ++i) {
                styles.push_back(styleSummary(db.styles[i], i));
            }
            printJson(styles);
            return 0;
        }
        if (db.styles.empty()) {
            fmt::print("The library has no styles.\n");
            return 0;
        }
        fmt::print("{:>4}  {:>10}  {:<3}  {:<7}  {}\n", "#", "ID", "On", "Source", "Name");
        for (std::size_t i = 0; i < db.styles.size(); ++i) {
            const styleContainer& s = db.styles[i];
            fmt::print("{:>4}  {:>10}  {:<3}  {:<7}  {}\n", i, s.uniqueID,
                       s.isEnabled ? "on" : "off", text::forTerminal(s.source),
                       text::forTerminal(s.styleData.name));
        }
        return 0;
    };
    // The index the browser host keeps beside the library lists it without reading it whole.
    if (auto indexed = indexedRecords(session.store().databaseFile())) {
        return finished(session, print(*indexed));
    }
    if (auto failure = session.store().openFailure()) {
        fmt::print(stderr, "The library cannot be read: {}\n", *failure);
        return kExitFailure;
    }
    const int status = session.store().readSummary(print);
    return finished(session, session.store().loadFailed() ? kExitFailure : status);
}

int setEnabled(CliSession& session, const std::optional<std::string>& idText, bool all,
               bool enabled) {
    if (all == idText.has_value()) {
        fmt::print(stderr, "Give either a style ID or --all.\n");
        return kExitUsage;
    }
    if (all) {
        const Result<std::size_t> count = session.store().setAllEnabled(enabled);
        if (!count) {
            fmt::print(stderr, "The library was not changed: {}\n", count.error());
            return kExitFailure;
        }
        fmt::print("{} all {} styles.\n", enabled ? "Enabled" : "Disabled", *count);
        return finished(session);
    }
    return withID(*idText, [&](std::int64_t id) {
        const Result<bool> found = session.store().setEnabled(id, enabled);
        if (auto failure = failureOf(found, id, found && *found)) {
            return *failure;
        }
        fmt::print("{} {}.\n", enabled ? "Enabled" : "Disabled",
                   text::forTerminal(styleName(session, id)));
        return finished(session);
    });
}

int duplicateStyle(CliSession& session, std::int64_t id) {
    const Result<std::optional<std::int64_t>> copy = session.store().duplicate(id);
    if (auto failure = failureOf(copy, id, copy && copy->has_value())) {
        return *failure;
    }
    fmt::print("Added {} with ID {}.\n",
               text::forTerminal(session.store().styleByID(**copy)->styleData.name), **copy);
    return finished(session);
}

int removeStyle(CliSession& session, std::int64_t id) {
    const std::string name = styleName(session, id);
    const Result<bool> removed = session.store().remove(id);
    if (auto failure = failureOf(removed, id, removed && *removed)) {
        return *failure;
    }
    fmt::print("Removed {}.\n", name.empty() ? std::to_string(id) : text::forTerminal(name));
    return finished(session);
}

int renameStyle(CliSession& session, std::int64_t id, const std::string& name) {
    const Result<bool> renamed = session.store().rename(id, name);
    if (auto failure = failureOf(renamed, id, renamed && *renamed)) {
        return *failure;
    }
    fmt::print("Renamed the style to {}.\n", text::forTerminal(name));
    return finished(session);
}

int showStyle(CliSession& session, std::int64_t id) {
    auto style = session.store().styleByID(id);
    if (!style) {
        return noSuchStyle(id);
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
    if (!session.store().backUp(file)) {
        return kExitFailure;
    }
    fmt::print("Backed up {} styles to {}.\n", session.store().styleCount(), file);
    return finished(session);
}

}  // namespace

void addLibraryCommands(CLI::App& app, CommandTable& table) {
    struct Arguments {
        std::string id;
        std::optional<std::string> optionalId;
        bool all = false;
        bool json = false;
        std::string text;
    };
    auto args = std::make_shared<Arguments>();

    auto* list = app.add_subcommand("list", "List the styles: position, ID, on/off, source, name");
    list->add_flag("--json", args->json, "Print a JSON array of the styles");
    table.addReadingLater(list, [args](CliSession& s) { return listStyles(s, args->json); });

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
