#pragma once
// The headless side of `orlavine`: subcommands that work on the library and print.

namespace orlavine {

// Parses the arguments and runs one subcommand. Returns the process exit status.
int runCommandLine(int argc, char** argv);

}  // namespace orlavine
