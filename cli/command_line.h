#pragma once
// Quillet without a display: the window's commands run from the command line, one per run.

namespace quillet::cli {

// The first argument names a command (or asks for help or the version); anything else is the
// window's.
bool isCommandLine(int argc, char* argv[]);

// Runs the command the arguments name and returns the exit status: 0 done, 1 failed, 2 the
// arguments were wrong. Messages go to standard error, one line each; what a command prints
// (last, sites, the help) to standard output.
int run(int argc, char* argv[]);

} // namespace quillet::cli
