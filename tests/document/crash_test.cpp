// Kills a process that rewrites a page at random moments: after every kill the page exists and
// holds one of the two texts it alternates between, whole.
#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

#include "document/entry_writer.h"
#include "document/line_io.h"
#include "temp_dir.h"

using namespace quillet::doc;
using namespace quillet::testing;

namespace {
std::string pageWith(const std::string& head, const Entry& e) {
    StringSink sink;
    LineWriter w(sink);
    w.writeLine(head);
    writeEntryBlock(w, e);
    w.flush();
    return sink.data();
}

int killRounds() {
    const char* env = std::getenv("QUILLET_CRASH_ROUNDS");
    return env ? std::atoi(env) : 60;
}
} // namespace

TEST(CrashSafety, PageSurvivesKillsDuringRewrite) {
    TempDir dir;
    const std::string page = dir.file("index.html");
    writeFile(page, "<!-INS-!>\r\n");
    Entry a, b;
    a.body = {"first", "</BODY></HTML>"};
    b.body = std::vector<std::string>(2000, std::string(60, 'b'));
    b.body.push_back("</BODY></HTML>");
    const std::string textA = pageWith("<!-INS-!>", a), textB = pageWith("<!-INS-!>", b);

    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> delayUs(0, 30000);
    const int rounds = killRounds();
    int sawA = 0, sawB = 0;
    for (int round = 0; round < rounds; ++round) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::dup2(fds[1], 1);
            ::execl(PAGE_REWRITER, PAGE_REWRITER, page.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        char ready[8] = {};
        ASSERT_GT(::read(fds[0], ready, sizeof ready), 0);
        ::close(fds[0]);
        ::usleep(static_cast<useconds_t>(delayUs(rng)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "rewriter stopped by itself at round " << round;

        ASSERT_TRUE(exists(page)) << "page missing after kill " << round;
        const std::string now = readFile(page);
        const bool first = round == 0 && now == "<!-INS-!>\r\n";
        ASSERT_TRUE(first || now == textA || now == textB) << "torn page after kill " << round;
        sawA += now == textA;
        sawB += now == textB;
    }
    EXPECT_GT(sawA + sawB, 0);
}
