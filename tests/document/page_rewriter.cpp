// A helper process for the page tests.
// "page_rewriter PAGE SEED": runs the page commands on a page in a loop, as the seed picks them,
// until it is killed. Before each command it writes "s N" to standard output, after it "d N": the
// crash test kills it at random moments and checks what it left against a repeat of the steps.
// "page_rewriter save PAGE TITLE WAIT_MS [GO]": one Save of an entry with that title, waiting at
// most WAIT_MS for the page's lock. It says "locking" just before it asks for the lock; with GO
// it says "inside" once it holds the lock and goes on only when the file GO exists. Exits 0 when
// the entry is in, 3 when the page was busy, 1 on any other failure.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>

#include "rewrite_commands.h"

using namespace quillet;

namespace {
void say(const char* what) {
    std::puts(what);
    std::fflush(stdout);
}

int saveOnce(const std::string& page, const std::string& title, long waitMs, const std::string& go) {
    doc::setPageLockWait(std::chrono::milliseconds(waitMs));
    bool locking = false, inside = false;
    doc::setFaultHook([&](doc::FileError::Step step, const std::string& path) {
        if (step == doc::FileError::Step::Open && !locking && path.ends_with("/")) {
            locking = true;
            say("locking");
        } else if (step == doc::FileError::Step::Create && !inside && !go.empty()) {
            inside = true;
            say("inside");
            for (int i = 0; i < 60000 && ::access(go.c_str(), F_OK) != 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return 0;
    });
    doc::Entry entry;
    entry.title = title;
    entry.body = {"written by " + title};
    try {
        doc::writeEntry(page, entry, doc::SaveMode::Insert);
        say("saved");
        return 0;
    } catch (const doc::PageBusyError& e) {
        say("busy");
        return 3;
    } catch (const std::exception& e) {
        std::printf("error %s\n", e.what());
        return 1;
    }
}
} // namespace

int main(int argc, char** argv) {
    if (argc >= 5 && std::string(argv[1]) == "save")
        return saveOnce(argv[2], argv[3], std::atol(argv[4]), argc > 5 ? argv[5] : "");
    if (argc != 3)
        return 2;
    const std::string page = argv[1];
    const unsigned seed = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
    say("ready");
    for (unsigned step = 0;; ++step) {
        std::printf("s %u\n", step);
        std::fflush(stdout);
        testing::runPageCommand(page, seed, step);
        std::printf("d %u\n", step);
        std::fflush(stdout);
    }
}
