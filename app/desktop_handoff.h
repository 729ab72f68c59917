#pragma once
// The windows are a program of their own, `orlavine-desktop`, so that commands start without
// loading the window toolkit's libraries: `orlavine` hands a desktop launch over to it.

namespace orlavine {

// Whether the arguments ask for the windows: none at all, or only "orlavine:" links and paths of
// style database and style files.
bool wantsDesktop(int argc, char** argv);

// Replaces this process with `orlavine-desktop` from this program's folder, the arguments
// unchanged. Returns only when it cannot be started, after saying why: the exit status.
int runDesktopProgram(char** argv);

}  // namespace orlavine
