// Memory stays flat on pages whose lines are long by the page's line model (LF-only text reads as
// one line): every command runs in a child process whose growth in peak memory is measured, so
// a command that held a 200 MB line would show it, also under the sanitizers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>

#include "document/entry_rework.h"
#include "document/entry_writer.h"
#include "document/file_io.h"
#include "document/insertion_list.h"
#include "document/page_open.h"
#include "document/page_rewrite.h"
#include "temp_dir.h"

using namespace quillet::doc;
using namespace quillet::testing;

namespace {
constexpr std::size_t kLongLine = 200u << 20;
constexpr long kGrowthBoundKb = 64 * 1024; // buffers are 256 KB each; the sanitizers add some
constexpr std::string_view kLfLine = "<P>LF-only text</P>\n";

long statusKb(const char* field) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long kb = -1;
    const std::size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, length) == 0 && line[length] == ':')
            kb = std::atol(line + length + 1);
    std::fclose(f);
    return kb;
}

// How far the peak resident memory rose above where it stood while `work` ran, in a child
// process; -1 when the system cannot reset the peak.
long peakGrowthKb(const std::function<void()>& work) {
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        long growth = -1;
        const int clear = ::open("/proc/self/clear_refs", O_WRONLY);
        if (clear >= 0 && ::write(clear, "5", 1) == 1) { // the peak starts again from here
            const long before = statusKb("VmHWM");
            try {
                work();
                growth = statusKb("VmHWM") - before;
            } catch (const std::exception& e) {
                std::fprintf(stderr, "%s\n", e.what());
                growth = -2;
            }
        }
        (void)!::write(fds[1], &growth, sizeof growth);
        ::_exit(0);
    }
    ::close(fds[1]);
    long growth = -2;
    if (::read(fds[0], &growth, sizeof growth) != sizeof growth)
        growth = -2;
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return growth;
}

// Writes a line of about kLongLine bytes; returns its length.
std::uint64_t appendLongLine(OutputFile& out) {
    std::string chunk;
    while (chunk.size() < (1u << 20))
        chunk += kLfLine;
    std::uint64_t written = 0;
    for (; written < kLongLine; written += chunk.size())
        out.write(chunk.data(), chunk.size());
    return written;
}

void append(OutputFile& out, std::string_view bytes) { out.write(bytes.data(), bytes.size()); }

std::uint64_t sizeOf(const std::string& path) {
    InputFile in(path);
    return fileSize(in);
}
} // namespace

TEST(LongLines, EveryCommandKeepsMemoryFlat) {
    // In memory where the machine has it: the rewrites write some gigabytes in all.
    TempDir dir(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::filesystem::temp_directory_path());
    const std::string page = dir.file("page.html"), lfOnly = dir.file("lf.html");
    std::uint64_t lfBytes = 0;
    {
        OutputFile out(lfOnly);
        lfBytes = appendLongLine(out);
        out.close();
    }
    const std::uint64_t lfLines = lfBytes / kLfLine.size();
    // A long line in the head, and one in the newest entry, which Delete-last skips.
    const std::string_view headStart = "<HTML>\r\n", headEnd = "\r\n<!-INS-!>\r\n",
                           longEntryStart = "<!-BDY-A-!>\r\n",
                           longEntryEnd = "\r\n<!-BDY-B-!><HR>\r\n<!-END-!>\r\n",
                           tail = "</BODY>\r\n</HTML>\r\n",
                           shortEntry = "<!-BDY-A-!>\r\nshort\r\n<!-BDY-B-!><HR>\r<!-END-!>\r\n",
                           closingEntry = "<!-BDY-A-!>\r\n</BODY></HTML>\r\n<!-BDY-B-!><HR>\r<!-END-!>\r\n";
    std::uint64_t head = 0, longEntry = 0;
    {
        OutputFile out(page);
        append(out, headStart);
        head = headStart.size() + appendLongLine(out) + headEnd.size();
        append(out, headEnd);
        append(out, longEntryStart);
        longEntry = longEntryStart.size() + appendLongLine(out) + longEntryEnd.size();
        append(out, longEntryEnd);
        append(out, tail);
        out.close();
    }
    const std::uint64_t original = head + longEntry + tail.size();
    Entry entry;
    entry.body = {"short"};
    Entry closing;
    closing.body = {"</BODY></HTML>"};

    struct Command {
        const char* name;
        std::function<void()> run;
        std::uint64_t pageSizeAfter;
    };
    const Command commands[] = {
        {"choosing an LF-only page", // its ten million lines in the list, a marker put at its end
         [&] {
             if (pageHasInsertionLine(lfOnly))
                 throw std::runtime_error("found a marker line");
             InsertionList list = loadInsertionList(lfOnly);
             if (list.size() != lfLines)
                 throw std::runtime_error("the list has " + std::to_string(list.size()) + " rows");
             list.toggle(list.size() - 1);
             if (saveInsertionList(lfOnly, list) != SaveListOutcome::Saved)
                 throw std::runtime_error("the list was not written");
         },
         original},
        {"choosing the page",
         [&] {
             if (!pageHasInsertionLine(page))
                 throw std::runtime_error("no marker line");
         },
         original},
        {"Save", [&] { writeEntry(page, entry, SaveMode::Insert); }, original + shortEntry.size()},
        {"Edit-last", // takes back the short entry; the copies around it stream
         [&] {
             PageRewrite rewrite(page);
             rewrite.CopyThroughMarker();
             if (readNewestEntry(rewrite).body != entry.body)
                 throw std::runtime_error("recalled the wrong entry");
             rewrite.CopyRest();
             rewrite.commit();
         },
         original},
        {"Delete-last", [&] { deleteNewestEntry(page); }, head + tail.size()},
        {"Undo", [&] { undoLastRewrite(page); }, original},
        {"Replace all", [&] { writeEntry(page, closing, SaveMode::ReplaceAll); }, head + closingEntry.size()},
    };
    for (const Command& command : commands) {
        const long growth = peakGrowthKb(command.run);
        if (growth == -1)
            GTEST_SKIP() << "the peak memory cannot be reset here";
        ASSERT_GE(growth, 0) << command.name << " failed";
        EXPECT_LT(growth, kGrowthBoundKb) << command.name;
        EXPECT_EQ(sizeOf(page), command.pageSizeAfter) << command.name;
    }
}
