#include "app/command_line.h"
#include "app/desktop_handoff.h"

int main(int argc, char** argv) {
    // Subcommands run here, headless; no arguments, links and style documents open the windows,
    // which are a program of their own.
    if (orlavine::wantsDesktop(argc, argv)) {
        return orlavine::runDesktopProgram(argv);
    }
    return orlavine::runCommandLine(argc, argv);
}
