// The command line linked without the window: the build fails here if it ever needs a widget or
// the platform's GUI part.
#include "cli/command_line.h"

int main(int argc, char* argv[]) { return quillet::cli::run(argc, argv); }
