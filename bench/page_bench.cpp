// Times the page rewrites (Save, Delete-last, Edit-last, Undo) on a large page through the same
// document code the window uses, against `cp` of the same page followed by `sync` of the copy.
// Each operation runs in a child process so that its peak memory is its own.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "document/entry_rework.h"
#include "document/entry_writer.h"
#include "document/file_io.h"
#include "document/line_io.h"
#include "document/page_rewrite.h"
#include "document/paths.h"

using namespace quillet::doc;
using Clock = std::chrono::steady_clock;

namespace {
struct Run {
    double seconds;
    long peakKb;
};

Run inChild(const std::function<void()>& work) {
    const auto start = Clock::now();
    pid_t pid = ::fork();
    if (pid == 0) {
        try {
            work();
            ::_exit(0);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            ::_exit(1);
        }
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "benchmark step failed\n");
        std::exit(1);
    }
    return {seconds, usage.ru_maxrss};
}

void makePage(const std::string& path, std::size_t bytes) {
    OutputFile out(path);
    FileSink sink(out);
    LineWriter w(sink);
    w.writeLine("<HTML>");
    w.writeLine("<BODY>");
    w.writeLine("<!-INS-!>");
    w.writeLine("<!-BDY-A-!>");
    w.writeLine("newest entry, one line");
    w.writeLine("<!-BDY-B-!><HR>");
    w.writeLine("<!-END-!>");
    const std::string body = "これは日記の本文です。 Some <B>markup</B> and text to fill a line of the page.";
    std::size_t written = 0;
    for (int n = 0; written < bytes; ++n) {
        w.writeLine("<!-TTL-A-!>\r\r<B>\rEntry " + std::to_string(n) + "\r</B><BR>\r<!-TTL-B-!>");
        w.writeLine("<!-BDY-A-!>");
        for (int i = 0; i < 8; ++i)
            w.writeLine(body);
        w.writeLine("<!-BDY-B-!><HR>\r<!-END-!>");
        written += 11 * (body.size() + 2) + 60;
    }
    w.writeLine("</BODY>");
    w.writeLine("</HTML>");
    w.flush();
    out.sync();
    out.close();
}

double cpSync(const std::string& from, const std::string& to) {
    const std::string cmd = "cp '" + from + "' '" + to + "' && sync '" + to + "'";
    const auto start = Clock::now();
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "cp failed\n");
        std::exit(1);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

template <class T> T median(std::vector<T> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
} // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "/tmp";
    const std::size_t megabytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 100;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
    const std::string page = dir + "/bench-page.html";
    const std::string copy = dir + "/bench-copy.html";
    makePage(page, megabytes << 20);

    Entry entry;
    entry.title = "Title";
    entry.body = {"one line"};
    std::vector<double> cp, save, del, edit, undo;
    long peakKb = 0;
    for (int r = 0; r < rounds; ++r) {
        cp.push_back(cpSync(page, copy));
        Run s = inChild([&] { writeEntry(page, entry, SaveMode::Insert); });
        save.push_back(s.seconds);
        Run d = inChild([&] { deleteNewestEntry(page); }); // removes what Save added
        del.push_back(d.seconds);
        Run e = inChild([&] {
            PageRewrite rewrite(page);
            rewrite.CopyThroughMarker();
            (void)readNewestEntry(rewrite);
            rewrite.CopyRest();
            rewrite.commit();
        });
        edit.push_back(e.seconds);
        inChild([&] { writeEntry(page, entry, SaveMode::Insert); }); // a newest entry again
        Run u = inChild([&] { undoLastRewrite(page); });
        Run u2 = inChild([&] { undoLastRewrite(page); });
        undo.push_back(std::min(u.seconds, u2.seconds));
        peakKb = std::max({peakKb, s.peakKb, d.peakKb, e.peakKb, u.peakKb});
    }
    removeFileQuietly(page);
    removeFileQuietly(copy);
    removeFileQuietly(bakFileOf(page));
    const double ref = median(cp);
    std::printf("page size %zu MB, %d rounds; medians: cp+sync %.3fs save %.3fs delete %.3fs "
                "edit %.3fs undo %.2fms\n",
                megabytes, rounds, ref, median(save), median(del), median(edit), median(undo) * 1000);
    std::printf("page: save_vs_cp=%.2f peak_rss_mb=%.1f delete_vs_cp=%.2f edit_vs_cp=%.2f undo_ms=%.2f\n",
                median(save) / ref, peakKb / 1024.0, median(del) / ref, median(edit) / ref,
                median(undo) * 1000);
}
