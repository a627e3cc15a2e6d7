// Runs one page command for the I/O-error test, which preloads its shim into this program:
// "eio_driver COMMAND PAGE" prints "ok", "error ERRNO STEP" for a file error, or "other WHAT".
// Built without the sanitizers, whose runtime would take the file calls before the shim.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "rewrite_commands.h"

using namespace quillet;

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    const int command = std::atoi(argv[1]);
    if (command < 0 || command > static_cast<int>(testing::kLastCommand))
        return 2;
    doc::Entry entry;
    entry.title = "I/O";
    entry.body = {"a line", "</BODY>", "</HTML>"};
    try {
        testing::runCommand(static_cast<testing::PageCommand>(command), argv[2], entry);
        std::puts("ok");
    } catch (const doc::FileError& e) {
        std::printf("error %d %d\n", e.errnum(), static_cast<int>(e.step()));
    } catch (const std::exception& e) {
        std::printf("other %s\n", e.what());
    }
    return 0;
}
