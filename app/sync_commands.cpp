// `orlavine sync setup URL [USER]`, `orlavine sync [--watch]`, `orlavine sync off` and
// `orlavine recover [ROW...]`: the sync account, a sync run, and styles that merges removed.

#include <fmt/format.h>
#include <termios.h>
#include <unistd.h>
#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/json/string.hpp>

#include <chrono>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/command_table.h"
#include "app/json_output.h"
#include "model/settings_keys.h"
#include "sync/account_setup.h"
#include "sync/sync_account.h"
#include "sync/sync_engine.h"
#include "text/text.h"

namespace orlavine {
namespace {

// Stands in for the account when only the local state is needed.
class NoAccount : public sync::RecordStore {
  public:
    sync::FetchOutcome fetch(const std::vector<std::string>&) override { return {down(), {}}; }
    sync::TagOutcome currentTag(const std::string&) override { return {down(), {}}; }
    sync::SaveOutcome save(const std::string&, std::string_view,
                           const std::optional<std::string>&) override {
        return {down(), {}};
    }
    std::optional<sync::CloudError> checkAccount() override { return down(); }
    bool waitForChange(std::chrono::milliseconds) override { return false; }

  private:
    static sync::CloudError down() { return {sync::CloudError::Kind::other, "no account"}; }
};

// Prints what the engine did, or adds it to `collected`; returns how many lines.
std::size_t printEvents(sync::SyncEngine& engine, boost::json::array* collected = nullptr) {
    const std::vector<std::string> lines = engine.takeEvents();
    for (const std::string& line : lines) {
        if (collected != nullptr) {
            collected->emplace_back(line);
        } else {
            fmt::print("{}\n", line);
        }
    }
    return lines.size();
}

// Reads the password without echo from a terminal, else one line from standard input.
std::string readPassword() {
    std::string password;
    if (::isatty(STDIN_FILENO) != 0) {
        fmt::print(stderr, "Password: ");
        termios old{};
        ::tcgetattr(STDIN_FILENO, &old);
        termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
        std::getline(std::cin, password);
        ::tcsetattr(STDIN_FILENO, TCSANOW, &old);
        fmt::print(stderr, "\n");
    } else {
        std::getline(std::cin, password);
    }
    if (!password.empty() && password.back() == '\r') {
        password.pop_back();
    }
    return password;
}

// Sends what the library's changes left for the account (the command line's store changes the
// library without uploading). Each step runs only when the ones before it did not fail, so a
// failure is told once. Returns whether one failed.
bool finishRun(sync::SyncEngine& engine, const std::vector<std::function<void()>>& steps = {}) {
    for (const auto& step : steps) {
        step();
        if (engine.takeFailure()) {
            return true;
        }
    }
    engine.poll();
    return engine.takeFailure();
}

int syncSetup(CliSession& session, const std::string& server, const std::string& user) {
    Result<sync::AccountAddress> address = sync::parseAccountAddress(server);
    if (!address) {
        fmt::print(stderr, "{}\n", address.error());
        return kExitUsage;
    }
    std::string password;
    if (address->kind == sync::AccountKind::webdav) {
        if (user.empty()) {
            fmt::print(stderr, "A WebDAV account needs a user name.\n");
            return kExitUsage;
        }
        password = readPassword();
    }
    sync::AccountSetup setup(session.settings(), {server, user, password});
    sync::AccountSetupOutcome prepared = setup.run();
    for (const std::string& line : prepared.lines) {
        fmt::print("{}\n", line);
    }
    if (const std::optional<sync::CloudError>& refused = prepared.error) {
        fmt::print(stderr, "The account cannot be used: {}\n", refused->message);
        return kExitFailure;
    }
    auto& app = session.settings().app;
    sync::SyncEngine engine(session.syncServices(*prepared.store));
    engine.makePreCloudCopy();
    engine.enableSync();
    const bool failed = finishRun(
        engine, {[&] { engine.startCloudSync(); }, [&] { engine.fetchCloudPreferences(); }});
    printEvents(engine);
    if (!app.boolValue(keys::kUseCloud)) {
        return finished(session, kExitFailure);
    }
    fmt::print("Sync is on with {}.\n", server);
    // The line above the account's says what the first sync could not do.
    return finished(session, failed ? kExitFailure : 0);
}

int syncRun(CliSession& session, bool watch, int interval, bool json) {
    if (!session.settings().app.boolValue(keys::kUseCloud)) {
        fmt::print(stderr, "Sync is off; switch it on with: orlavine sync setup URL USER\n");
        return finished(session, kExitFailure);
    }
    Result<std::unique_ptr<sync::RecordStore>> cloud = sync::openSavedAccount(session.settings());
    if (!cloud) {
        fmt::print(stderr, "{}\n", cloud.error());
        return finished(session, kExitFailure);
    }
    sync::SyncEngine engine(session.syncServices(**cloud));
    std::vector<std::function<void()>> steps;
    if (engine.hasSyncedBefore()) {
        steps.emplace_back([&] { engine.poll(); });
    } else {
        steps.emplace_back([&] { engine.startCloudSync(); });
        steps.emplace_back([&] { engine.fetchCloudPreferences(); });
    }
    // The events say what failed; a watcher keeps trying at the next poll.
    const bool failed = finishRun(engine, steps);
    boost::json::array events;
    if (printEvents(engine, json ? &events : nullptr) == 0 && !json) {
        fmt::print("The library and the account are in step.\n");
    }
    while (watch && session.settings().app.boolValue(keys::kUseCloud)) {
        (*cloud)->waitForChange(std::chrono::seconds(interval));
        finishRun(engine, {[&] { engine.poll(); }});
        printEvents(engine);
    }
    if (!session.settings().app.boolValue(keys::kUseCloud)) {
        fmt::print(stderr, "Sync is now off; set the account up again.\n");
        return finished(session, kExitFailure);
    }
    const std::size_t removed = engine.deletedStyles().size();
    if (json) {
        printJson(boost::json::object{
            {"ok", !failed}, {"events", std::move(events)}, {"recoverable", removed}});
    } else if (removed > 0) {
        fmt::print("{} removed style(s) can be recovered: orlavine recover\n", removed);
    }
    return finished(session, failed && !watch ? kExitFailure : 0);
}

int syncOff(CliSession& session) {
    NoAccount none;
    sync::SyncEngine engine(session.syncServices(none));
    engine.disableSync();
    if (engine.takeFailure()) {
        for (const std::string& line : engine.takeEvents()) {
            fmt::print(stderr, "{}\n", line);
        }
        return finished(session, kExitFailure);
    }
    fmt::print("Sync is off. The library and the account's copy stay as they are.\n");
    return finished(session);
}

int recover(CliSession& session, const std::vector<std::size_t>& rows) {
    NoAccount none;
    sync::SyncEngine engine(session.syncServices(none));
    const std::vector<styleContainer> deleted = engine.deletedStyles();
    if (rows.empty()) {
        if (deleted.empty()) {
            fmt::print("No styles to recover.\n");
        }
        for (std::size_t i = 0; i < deleted.size(); ++i) {
            fmt::print("{}\t{}\t{}\n", i + 1, deleted[i].uniqueID,
                       text::forTerminal(deleted[i].styleData.name));
        }
        return finished(session);
    }
    std::vector<std::size_t> indices;
    for (const std::size_t row : rows) {
        if (row == 0 || row > deleted.size()) {
            fmt::print(stderr, "There is no row {}; see orlavine recover.\n", row);
            return finished(session, kExitUsage);
        }
        indices.push_back(row - 1);
    }
    const std::size_t recovered = engine.recover(indices);
    if (recovered == 0) {
        printEvents(engine);
        fmt::print(stderr, "Nothing was recovered; the library could not be saved.\n");
        return finished(session, kExitFailure);
    }
    fmt::print("Recovered {} style(s).\n", recovered);
    if (!session.settings().app.boolValue(keys::kUseCloud)) {
        return finished(session);
    }
    Result<std::unique_ptr<sync::RecordStore>> cloud = sync::openSavedAccount(session.settings());
    bool uploaded = false;
    if (cloud) {
        sync::SyncEngine online(session.syncServices(**cloud));
        uploaded = !finishRun(online);
        printEvents(online);
    }
    if (!uploaded) {
        // The styles are back in the library; only the account's copy lags behind.
        fmt::print(stderr,
                   "They are in the library, but the cloud library could not be updated; the "
                   "next sync uploads them.\n");
        return finished(session, kExitFailure);
    }
    return finished(session);
}

}  // namespace

void addSyncCommands(CLI::App& app, CommandTable& table) {
    struct Arguments {
        std::string server;
        std::string user;
        bool watch = false;
        bool json = false;
        int interval = 300;
        std::vector<std::size_t> rows;
    };
    auto args = std::make_shared<Arguments>();
    auto* sync = app.add_subcommand("sync", "Sync the library with the account, or set it up");
    auto* watch = sync->add_flag("--watch", args->watch,
                                 "Keep running and sync whenever the account changes");
    sync->add_flag("--json", args->json, "Print the run's outcome as JSON")->excludes(watch);
    sync->add_option("--interval", args->interval, "Seconds between polls with --watch")
        ->check(CLI::Range(5, 86400));
    auto* setup = sync->add_subcommand("setup", "Set up the account and switch sync on");
    setup->add_option("url", args->server, "WebDAV folder address, or a synced local folder")
        ->required();
    setup->add_option("user", args->user, "User name of the WebDAV account");
    auto* off = sync->add_subcommand("off", "Switch sync off");
    table.add(setup, [args](CliSession& s) { return syncSetup(s, args->server, args->user); });
    table.add(off, [](CliSession& s) { return syncOff(s); });
    // Registered after its subcommands, so it runs only when neither was given.
    table.add(sync, [args](CliSession& s) {
        return syncRun(s, args->watch, args->interval, args->json);
    });

    auto* rec = app.add_subcommand("recover", "List styles that sync removed, or put rows back");
    rec->add_option("rows", args->rows, "Rows of the list to put back");
    table.add(rec, [args](CliSession& s) { return recover(s, args->rows); });
}

}  // namespace orlavine
