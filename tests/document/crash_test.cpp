// Kills a process that runs Save, Replace all, Delete-last, Edit-last, Undo, a download's install
// and the insertion-point write-back on a page at random moments. After every kill, with "before" and "after"
// the page and backup around the command that was running (found by repeating the same steps on a copy):
// - the page exists (else: lost) and is the text before or after (else: torn);
// - the backup is the backup before or after, and once the page is the new text it is the backup
//   after, which for every command is the page as it was before it (else: backup wrong).
// Meanwhile a reader keeps opening the page and must never find it missing.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <optional>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

#include "document/line_io.h"
#include "rewrite_commands.h"
#include "temp_dir.h"

using namespace quillet::doc;
using namespace quillet::testing;

namespace {
int killCount() {
    const char* env = std::getenv("QUILLET_CRASH_KILLS");
    return env ? std::atoi(env) : 30;
}

std::optional<std::string> contentOf(const std::string& path) {
    if (!exists(path))
        return std::nullopt;
    return readFile(path);
}

void putOrRemove(const std::string& path, const std::optional<std::string>& text) {
    if (text)
        writeFile(path, *text);
    else
        ::unlink(path.c_str());
}

// Opens the page over and over until `stop` exists; reports "opens missing" on `out`.
pid_t startReader(const std::string& page, const std::string& stop, int out) {
    pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    unsigned long opens = 0, missing = 0;
    for (;; ++opens) {
        int fd = ::open(page.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
        else if (errno == ENOENT)
            ++missing;
        if (opens % 256 == 0 && ::access(stop.c_str(), F_OK) == 0)
            break;
    }
    char report[64];
    const int n = std::snprintf(report, sizeof report, "%lu %lu\n", opens, missing);
    (void)!::write(out, report, static_cast<std::size_t>(n));
    ::_exit(0);
}

struct Kill {
    int lastStarted = -1; // the step running or last run when the kill came
    bool inside = false;  // the kill came inside that step
};

Kill runAndKill(const std::string& page, unsigned seed, useconds_t delay) {
    int fds[2];
    if (::pipe(fds) != 0)
        throw std::runtime_error("pipe");
    pid_t child = ::fork();
    if (child == 0) {
        ::dup2(fds[1], 1);
        ::execl(PAGE_REWRITER, PAGE_REWRITER, page.c_str(), std::to_string(seed).c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    FILE* from = ::fdopen(fds[0], "r");
    char line[64];
    if (!std::fgets(line, sizeof line, from))
        throw std::runtime_error("the rewriter did not start");
    ::usleep(delay);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFSIGNALED(status))
        throw std::runtime_error("the rewriter stopped by itself");
    Kill k;
    char what;
    int step;
    while (std::fgets(line, sizeof line, from))
        if (std::sscanf(line, "%c %d", &what, &step) == 2) {
            k.lastStarted = step;
            k.inside = what == 's';
        }
    std::fclose(from);
    return k;
}
} // namespace

TEST(CrashSafety, PageSurvivesKillsDuringRewrite) {
    TempDir dir, replayDir;
    const std::string page = dir.file("index.html"), bak = dir.file("index.BAK");
    const std::string copy = replayDir.file("index.html"), copyBak = replayDir.file("index.BAK");
    writeFile(page, "<HTML>\r\n<BODY>\r\n<!-INS-!>\r\n<!-BDY-A-!>\r\nfirst\r\n<!-BDY-B-!><HR>\r\n"
                    "<!-END-!>\r\n</BODY>\r\n</HTML>\r\n");

    const std::string stop = dir.file("stop");
    int readerOut[2];
    ASSERT_EQ(::pipe(readerOut), 0);
    const pid_t reader = startReader(page, stop, readerOut[1]);
    ::close(readerOut[1]);

    std::mt19937 rng(12345);
    std::uniform_int_distribution<useconds_t> delayUs(0, 40000);
    const int kills = killCount();
    int lost = 0, torn = 0, backupsWrong = 0, inside = 0;
    std::map<std::string, int> insideOf; // kills inside each command
    for (int round = 0; round < kills; ++round) {
        const std::optional<std::string> page0 = contentOf(page), bak0 = contentOf(bak);
        const unsigned seed = static_cast<unsigned>(round) + 1;
        const Kill k = runAndKill(page, seed, delayUs(rng));
        inside += k.inside;
        if (k.inside)
            ++insideOf[commandName(commandAt(seed, static_cast<unsigned>(k.lastStarted)))];

        // The same steps on a copy, without a kill: the texts around the step that was running.
        putOrRemove(copy, page0);
        putOrRemove(copyBak, bak0);
        std::optional<std::string> pageBefore = page0, bakBefore = bak0;
        std::optional<std::string> pageAfter = page0, bakAfter = bak0;
        for (int step = 0; step <= k.lastStarted; ++step) {
            pageBefore = pageAfter;
            bakBefore = bakAfter;
            runPageCommand(copy, seed, static_cast<unsigned>(step));
            pageAfter = contentOf(copy);
            bakAfter = contentOf(copyBak);
        }

        const std::optional<std::string> pageNow = contentOf(page), bakNow = contentOf(bak);
        const std::string during =
            k.lastStarted < 0
                ? "before the first step"
                : std::string(commandName(commandAt(seed, static_cast<unsigned>(k.lastStarted))));
        if (!pageNow) {
            ++lost;
            ADD_FAILURE() << "page missing after kill " << round << " in " << during;
            writeFile(page, *pageBefore);
            continue;
        }
        if (pageNow != pageBefore && pageNow != pageAfter) {
            ++torn;
            ADD_FAILURE() << "torn page after kill " << round << " in " << during;
        }
        const bool newPage = pageNow == pageAfter && pageAfter != pageBefore;
        if (newPage ? bakNow != bakAfter : bakNow != bakBefore && bakNow != bakAfter) {
            ++backupsWrong;
            ADD_FAILURE() << "wrong backup after kill " << round << " in " << during;
        }
    }

    // A kill may leave a work file behind; the next completed rewrite clears them all.
    writeEntry(page, Entry{}, SaveMode::Insert);
    int strays = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const std::string name = entry.path().filename().string();
        strays += name != "index.html" && name != "index.BAK";
        EXPECT_TRUE(name == "index.html" || name == "index.BAK") << "left behind: " << name;
    }

    writeFile(stop, "");
    char report[64] = {};
    ASSERT_GT(::read(readerOut[0], report, sizeof report - 1), 0);
    ::close(readerOut[0]);
    ::waitpid(reader, nullptr, 0);
    unsigned long opens = 0, missing = 0;
    std::sscanf(report, "%lu %lu", &opens, &missing);
    EXPECT_EQ(missing, 0u) << "the reader found the page missing";
    EXPECT_GT(inside, 0) << "no kill landed inside a command";

    std::printf("crash: kills inside a command=%d, reader opens=%lu missing=%lu, stray files=%d\n", inside,
                opens, missing, strays);
    std::string perCommand;
    for (const auto& [name, count] : insideOf)
        perCommand += " " + name + "=" + std::to_string(count);
    std::printf("crash: kills inside:%s\n", perCommand.c_str());
    std::printf("crash: kills=%d pages_lost=%lu pages_torn=%d backups_wrong=%d\n", kills,
                static_cast<unsigned long>(lost) + missing, torn, backupsWrong);
}

TEST(CrashSafety, BackupNameLeftByAKillGoesWithTheNextRewrite) {
    TempDir dir;
    const std::string page = dir.file("index.html");
    writeFile(page, "<!-INS-!>\r\n");
    writeFile(dir.file("index.BAK.0123abcd~"), "old");   // as a kill leaves it
    writeFile(dir.file("index.BAK.0123abcd~x"), "mine"); // not ours: stays
    writeFile(dir.file("index.BAK.0123ABCD~"), "mine");
    writeEntry(page, Entry{}, SaveMode::Insert);
    EXPECT_FALSE(exists(dir.file("index.BAK.0123abcd~")));
    EXPECT_TRUE(exists(dir.file("index.BAK.0123abcd~x")));
    EXPECT_TRUE(exists(dir.file("index.BAK.0123ABCD~")));
    EXPECT_EQ(readFile(dir.file("index.BAK")), "<!-INS-!>\r\n");
}
