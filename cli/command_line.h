#pragma once
// Quillet without a display: the window's commands run from the command line, one per run.

#include <string_view>

namespace quillet::cli {

// The first argument names a command (or asks for help or the version); anything else is the
// window's (Qt's own options such as -platform). Needs nothing but the arguments: the program
// decides with it which part to load.
inline bool isCommandLine(int argc, char* argv[]) {
    if (argc < 2)
        return false;
    const std::string_view first = argv[1];
    return !first.starts_with('-') || first == "--help" || first == "-h" || first == "--version" ||
           first == "-v";
}

// Runs the command the arguments name and returns the exit status: 0 done, 1 failed, 2 the
// arguments were wrong. Messages go to standard error, one line each; what a command prints
// (last, sites, the help) to standard output.
int run(int argc, char* argv[]);

} // namespace quillet::cli
