// The command line as a part of its own, which the program loads for a command: it brings QtCore
// only, so a command starts without loading the GUI's libraries.
#include "cli/command_line.h"

extern "C" int quilletCommandLine(int argc, char* argv[]) { return quillet::cli::run(argc, argv); }
