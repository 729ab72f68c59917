#pragma once
// Subcommands register here: each group of commands lives in its own file and adds its
// subcommands with the function that runs them once parsed.

#include <CLI/CLI.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/cli_session.h"

namespace orlavine {

inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

class CommandTable {
  public:
    using Run = std::function<int(CliSession&)>;

    using RunAlone = std::function<int()>;

    void add(CLI::App* subcommand, Run run) { entries_.push_back({subcommand, std::move(run)}); }
    // A subcommand that may read the library its own way: its session does not read the library
    // before it runs (the store still does at its first use).
    void addReadingLater(CLI::App* subcommand, Run run) {
        entries_.push_back({subcommand, std::move(run), true});
    }
    // A subcommand that needs no library, settings or network (and so makes no files).
    void addAlone(CLI::App* subcommand, RunAlone run) {
        alone_.emplace_back(subcommand, std::move(run));
    }

    const RunAlone* parsedAlone() const {
        for (const auto& [sub, run] : alone_) {
            if (sub->parsed()) {
                return &run;
            }
        }
        return nullptr;
    }

    struct Entry {
        CLI::App* subcommand = nullptr;
        Run run;
        bool readsLibraryLater = false;
    };
    // The subcommand that was parsed, if any.
    const Entry* parsed() const {
        for (const Entry& entry : entries_) {
            if (entry.subcommand->parsed()) {
                return &entry;
            }
        }
        return nullptr;
    }

  private:
    std::vector<Entry> entries_;
    std::vector<std::pair<CLI::App*, RunAlone>> alone_;
};

// A style ID as typed: a whole decimal number, nothing more. Empty text, trailing characters
// and numbers out of range are refused, with a message, rather than read as 0 or clamped.
std::optional<std::int64_t> parseStyleID(const std::string& text);

// The library style with the ID typed on the command line. Without one, a message is printed
// and `status` says whether the ID was malformed (usage) or unknown (failure).
std::optional<styleContainer> styleForID(CliSession& session, const std::string& idText,
                                         int& status);

// Waits for the library to be written; a failed write turns `status` into a failure.
int finished(CliSession& session, int status = 0);

// The command groups.
void addLibraryCommands(CLI::App& app, CommandTable& table);
void addFormatCommands(CLI::App& app, CommandTable& table);
void addPageCommands(CLI::App& app, CommandTable& table);
void addPreprocessCommands(CLI::App& app, CommandTable& table);
void addSyncCommands(CLI::App& app, CommandTable& table);
void addUpdateCommands(CLI::App& app, CommandTable& table);
void addEditCommand(CLI::App& app, CommandTable& table);
void addPropsCommand(CLI::App& app, CommandTable& table);
void addCompletionCommands(CLI::App& app, CommandTable& table);
void addOpenCommand(CLI::App& app, CommandTable& table);

}  // namespace orlavine
