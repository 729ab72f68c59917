// `orlavine-desktop`: the windows. `orlavine` hands over to it when started without a
// subcommand, or with links and style documents only.
#include <fmt/format.h>

#include "app/desktop_handoff.h"
#include "app/gui/desktop_app.h"

int main(int argc, char** argv) {
    if (!orlavine::wantsDesktop(argc, argv)) {
        fmt::print(stderr,
                   "orlavine-desktop takes only \"orlavine:\" links and .sdb, .css, .styl and "
                   ".less files; run the subcommands with orlavine.\n");
        return 2;
    }
    return orlavine::gui::runDesktop(argc, argv);
}
