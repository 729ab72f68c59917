#include "app/command_line.h"

#include <fmt/format.h>

#include "app/command_table.h"

namespace orlavine {

int runCommandLine(int argc, char** argv) {
    CLI::App app{"Orlavine keeps a library of user styles and serves them to the browser."};
    app.set_version_flag("--version",
                         fmt::format("orlavine {}\nLess {}\nStylus {}", ORLAVINE_VERSION,
                                     ORLAVINE_LESS_VERSION, ORLAVINE_STYLUS_VERSION));
    app.require_subcommand(0, 1);

    CommandTable table;
    addLibraryCommands(app, table);
    addFormatCommands(app, table);
    addPageCommands(app, table);
    addPreprocessCommands(app, table);
    addSyncCommands(app, table);
    addUpdateCommands(app, table);
    addEditCommand(app, table);
    addPropsCommand(app, table);
    addOpenCommand(app, table);
    addCompletionCommands(app, table);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help and version end well; every other parse error is a usage error.
        const int status = app.exit(e);
        return status == 0 ? 0 : kExitUsage;
    }

    if (const CommandTable::RunAlone* alone = table.parsedAlone()) {
        return (*alone)();
    }
    const CommandTable::Entry* command = table.parsed();
    if (command == nullptr) {
        fmt::print("{}\n", app.help());
        fmt::print(stderr, "Give a subcommand, or nothing at all to open the windows.\n");
        return kExitUsage;
    }
    CliSession session(command->readsLibraryLater);
    return command->run(session);
}

int finished(CliSession& session, int status) {
    if (!session.finish()) {
        return kExitFailure;
    }
    return status;
}

}  // namespace orlavine
