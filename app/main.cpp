#include "app/command_line.h"
#include "app/gui/desktop_app.h"

int main(int argc, char** argv) {
    // Subcommands run headless; no arguments, links and style documents open the windows.
    if (orlavine::gui::wantsDesktop(argc, argv)) {
        return orlavine::gui::runDesktop(argc, argv);
    }
    return orlavine::runCommandLine(argc, argv);
}
