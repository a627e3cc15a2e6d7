// Runs the page commands on a page in a loop, as the seed picks them, until it is killed. Before
// each command it writes "s N" to standard output, after it "d N": the crash test kills it at
// random moments and checks what it left against a repeat of the same steps.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "rewrite_commands.h"

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    const std::string page = argv[1];
    const unsigned seed = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
    std::puts("ready");
    std::fflush(stdout);
    for (unsigned step = 0;; ++step) {
        std::printf("s %u\n", step);
        std::fflush(stdout);
        quillet::testing::runPageCommand(page, seed, step);
        std::printf("d %u\n", step);
        std::fflush(stdout);
    }
}
