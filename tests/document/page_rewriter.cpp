// Rewrites a page in a loop, alternating between two whole texts, until it is killed.
// The crash test kills it at random moments and checks what it left.
#include <cstdio>
#include <string>

#include "document/entry_writer.h"

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    const std::string page = argv[1];
    using namespace quillet::doc;
    Entry a, b;
    a.body = {"first", "</BODY></HTML>"};
    b.body = std::vector<std::string>(2000, std::string(60, 'b'));
    b.body.push_back("</BODY></HTML>");
    std::puts("ready");
    std::fflush(stdout);
    for (unsigned long i = 0;; ++i)
        writeEntry(page, i % 2 ? b : a, SaveMode::ReplaceAll);
}
