// Subcommands that reach the web: install a style from an address, and check installed styles
// for updates (row by row, one style, or with the update sheet's log).

#include <fmt/format.h>
#include <unistd.h>
#include <CLI/CLI.hpp>
#include <algorithm>
#include <boost/json/array.hpp>
#include <boost/json/object.hpp>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "app/command_table.h"
#include "app/json_output.h"
#include "library/row_update_check.h"
#include "library/update_sheet.h"
#include "library/url_import.h"
#include "model/config.h"
#include "text/text.h"

namespace orlavine {
namespace {

// Interrupt presses during `update --log`, each one the sheet's Cancel button. A signal handler
// can only count; the command's loop turns the count into presses.
volatile std::sig_atomic_t interruptPresses = 0;

extern "C" void countInterrupt(int /*signal*/) {
    interruptPresses = interruptPresses + 1;
}

bool askOnTerminal(const styleContainer& style) {
    fmt::print(stderr, "Do you want to install the style \"{}\"? [y/N] ",
               text::forTerminal(style.styleData.name));
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        fmt::print(stderr, "\n");
        return false;
    }
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

int installFromAddress(CliSession& session, const std::string& address, bool yes) {
    // Informative alerts ("imported with no rules") are printed; only the outcome decides the
    // command's status.
    StderrReporter alerts;
    const LibraryServices services{
        session.store(),          session.settings().app, alerts,
        &session.notifications(), &session.compiler(),    &session.downloader()};
    ConfirmInstall confirm;
    if (!yes) {
        confirm = askOnTerminal;
    }
    const URLImportOutcome outcome = importFromURL(address, services, confirm);
    switch (outcome.result) {
        case URLImportResult::added:
        case URLImportResult::addedWithoutRules:
            fmt::print("Installed {} with ID {}.\n", text::forTerminal(outcome.name),
                       outcome.uniqueID);
            return finished(session);
        case URLImportResult::declined:
            fmt::print(stderr, "Not installed. (--yes installs without asking.)\n");
            return finished(session, kExitFailure);
        case URLImportResult::unreadable:
            fmt::print(stderr,
                       "Not installed: the document at {} holds no style that could be read.\n",
                       text::forTerminal(address));
            return finished(session, kExitFailure);
        case URLImportResult::duplicate:
        case URLImportResult::failed:
            break;
    }
    return finished(session, kExitFailure);
}

const char* outcomeWord(UpdateOutcome outcome) {
    switch (outcome) {
        case UpdateOutcome::updated:
            return "updated";
        case UpdateOutcome::upToDate:
            return "up to date";
        case UpdateOutcome::error:
            return "error";
        case UpdateOutcome::notChecked:
            break;
    }
    return "not checked";
}

boost::json::object checkJson(std::int64_t id, const UpdateCheck& check) {
    return {{"id", id},
            {"name", check.name},
            {"outcome", outcomeWord(check.outcome)},
            {"detail", check.detail}};
}

void printUpdateJson(boost::json::array styles, int updated, int errors) {
    const auto checked = styles.size();
    printJson(boost::json::object{
        {"checked", checked}, {"updated", updated}, {"errors", errors}, {"styles", styles}});
}

int checkEveryRow(CliSession& session, bool json) {
    int updated = 0;
    int errors = 0;
    int current = 0;
    boost::json::array checks;
    RowUpdateCheck::Callbacks callbacks;
    callbacks.rowChecked = [&](std::int64_t id, const UpdateCheck& check) {
        updated += check.outcome == UpdateOutcome::updated ? 1 : 0;
        errors += check.outcome == UpdateOutcome::error ? 1 : 0;
        ++current;
        if (json) {
            checks.push_back(checkJson(id, check));
            return;
        }
        fmt::print("{:<11} {} (ID {}){}\n", outcomeWord(check.outcome),
                   text::forTerminal(check.name), id,
                   check.detail.empty() ? "" : ": " + check.detail);
    };
    RowUpdateCheck rows(session.updateContext(), &session.notifications(), std::move(callbacks));
    if (!rows.checkAll(false)) {
        if (json) {
            printUpdateJson({}, 0, 0);
        } else {
            fmt::print("The library has no styles.\n");
        }
        return finished(session);
    }
    rows.wait();
    if (json) {
        printUpdateJson(std::move(checks), updated, errors);
    } else if (current == 0) {
        fmt::print("No style has an address to check for updates.\n");
        return finished(session);
    } else {
        fmt::print("{} of {} styles updated, {} could not be checked.\n", updated, current, errors);
    }
    return finished(session, errors > 0 ? kExitFailure : 0);
}

int checkOneStyle(CliSession& session, const std::string& idText, bool json) {
    int status = 0;
    const std::optional<styleContainer> style = styleForID(session, idText, status);
    if (!style) {
        return status;
    }
    const std::int64_t id = style->uniqueID;
    std::optional<UpdateCheck> result;
    RowUpdateCheck rows(session.updateContext(), &session.notifications(), {});
    if (!rows.checkOne(id, [&result](const UpdateCheck& check) { result = check; })) {
        fmt::print(stderr, "{} has no address to check for updates.\n",
                   text::forTerminal(style->styleData.name));
        return finished(session, kExitFailure);
    }
    rows.wait();
    if (json) {
        const bool updated = result->outcome == UpdateOutcome::updated;
        const bool error = result->outcome == UpdateOutcome::error;
        printUpdateJson(boost::json::array{checkJson(id, *result)}, updated ? 1 : 0, error ? 1 : 0);
        return finished(session, error ? kExitFailure : 0);
    }
    switch (result->outcome) {
        case UpdateOutcome::updated:
            fmt::print("{} {}\n", kRowUpdated,
                       text::forTerminal(session.store().styleByID(id)->styleData.name));
            return finished(session);
        case UpdateOutcome::upToDate:
            fmt::print("{}\n", kRowUpToDate);
            return finished(session);
        default:
            fmt::print(stderr, "{} {}\n", kRowUpdateError, result->detail);
            return finished(session, kExitFailure);
    }
}

void drawProgress(double percent) {
    constexpr int kWidth = 30;
    const auto filled = std::lround(percent * kWidth / 100.0);
    fmt::print(stderr, "\r[{:<{}}] {:3.0f}%", std::string(static_cast<std::size_t>(filled), '#'),
               kWidth, percent);
    std::fflush(stderr);
}

int runUpdateSheet(CliSession& session) {
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    std::size_t printed = 0;
    bool barShown = false;
    bool dismissed = false;
    UpdateSheetRun::Callbacks callbacks;
    callbacks.logChanged = [&](const std::string& log) {
        if (log.size() <= printed) {
            return;
        }
        if (barShown) {
            fmt::print(stderr, "\r\033[K");
            barShown = false;
        }
        // Line by line, so that the names in it cannot send escape sequences to the terminal.
        const std::string_view fresh = std::string_view(log).substr(printed);
        for (std::size_t start = 0; start <= fresh.size();) {
            const std::size_t end = std::min(fresh.find('\n', start), fresh.size());
            fmt::print("{}{}", text::forTerminal(fresh.substr(start, end - start)),
                       end < fresh.size() ? "\n" : "");
            start = end + 1;
        }
        std::fflush(stdout);
        printed = log.size();
    };
    callbacks.progressChanged = [&](double percent) {
        if (terminal) {
            drawProgress(percent);
            barShown = true;
        }
    };
    callbacks.dismissed = [&] { dismissed = true; };
    UpdateSheetRun sheet(session.updateContext(), &session.notifications(), std::move(callbacks));

    interruptPresses = 0;
    auto* previous = std::signal(SIGINT, countInterrupt);
    sheet.start();
    int seen = 0;
    while (!sheet.isFinished() && !dismissed) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        for (; seen < interruptPresses && !dismissed; ++seen) {
            sheet.cancel();
            if (seen == 0) {
                fmt::print(stderr,
                           "\nStopping after the current style (press Ctrl-C 4 more "
                           "times to give up at once).\n");
            }
        }
    }
    std::signal(SIGINT, previous);
    sheet.wait();  // the last log lines are printed from the run's thread
    if (barShown) {
        fmt::print(stderr, "\r\033[K");
    }
    if (dismissed) {
        fmt::print("\nGave up: the library was read again from its file.\n");
        return finished(session, kExitFailure);
    }
    fmt::print("\n");
    sheet.done();
    return finished(session, seen > 0 ? kExitFailure : 0);
}

}  // namespace

void addUpdateCommands(CLI::App& app, CommandTable& table) {
    auto address = std::make_shared<std::string>();
    auto yes = std::make_shared<bool>(false);
    auto* install = app.add_subcommand(
        "install",
        "Install a style from an address (a catalogue page, .user.css, .css, .less, .styl)");
    install->add_option("url", *address, "The style's address")->required();
    install->add_flag("--yes,-y", *yes, "Install without asking");
    table.add(install,
              [address, yes](CliSession& s) { return installFromAddress(s, *address, *yes); });

    auto id = std::make_shared<std::string>();
    auto log = std::make_shared<bool>(false);
    auto* update = app.add_subcommand(
        "update", "Check styles installed from the web for newer versions and install them");
    auto* idOption = update->add_option("id", *id, "Check only this style");
    auto json = std::make_shared<bool>(false);
    auto* logFlag = update->add_flag("--log", *log, "Check one style after another and print a log")
                        ->excludes(idOption);
    update->add_flag("--json", *json, "Print the outcome of each check as JSON")->excludes(logFlag);
    table.add(update, [id, log, json](CliSession& s) {
        if (*log) {
            return runUpdateSheet(s);
        }
        return id->empty() ? checkEveryRow(s, *json) : checkOneStyle(s, *id, *json);
    });
}

}  // namespace orlavine
