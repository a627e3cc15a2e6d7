// Times the page rewrites (Save, Delete-last, Edit-last, Undo) on a large page through the same
// document code the window uses, against `cp` of the same page followed by `sync` of the copy.
// Each operation runs in a child process so that its peak memory is its own.
// Then the odd pages, whose lines are long by the page's line model: choosing a page with LF-only
// line ends (one line of the whole page; the marker check, then the list of its lines), against
// `cat` of it, and the rewrites of a page with a line as long as the first page before its marker.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "document/entry_rework.h"
#include "document/entry_writer.h"
#include "document/file_io.h"
#include "document/insertion_list.h"
#include "document/line_io.h"
#include "document/page_open.h"
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

// One line by the page's line model: LF ends no line.
void makeLfOnlyPage(const std::string& path, std::size_t bytes) {
    OutputFile out(path);
    const std::string line = "<P>これは日記の本文です。 LF-only text as another editor writes it.</P>\n";
    std::string chunk;
    while (chunk.size() < LineWriter::kBufferSize)
        chunk += line;
    const std::string head = "<HTML>\n<BODY>\n";
    out.write(head.data(), head.size());
    for (std::size_t written = 0; written < bytes; written += chunk.size())
        out.write(chunk.data(), chunk.size());
    out.close();
}

// A page whose head holds a line of `bytes` bytes (LF-only text) before the marker.
void makeLongLinePage(const std::string& path, std::size_t bytes) {
    OutputFile out(path);
    const std::string head = "<HTML>\r\n<BODY>\r\n";
    out.write(head.data(), head.size());
    std::string chunk;
    while (chunk.size() < LineWriter::kBufferSize)
        chunk += "<P>one long line, LF only</P>\n";
    for (std::size_t written = 0; written < bytes; written += chunk.size())
        out.write(chunk.data(), chunk.size());
    const std::string rest = "\r\n<!-INS-!>\r\n<!-BDY-A-!>\r\nnewest\r\n<!-BDY-B-!><HR>\r\n<!-END-!>\r\n"
                             "</BODY>\r\n</HTML>\r\n";
    out.write(rest.data(), rest.size());
    out.close();
}

double timed(const std::string& cmd) {
    const auto start = Clock::now();
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "%s failed\n", cmd.c_str());
        std::exit(1);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
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
    const std::size_t lfMegabytes = argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 1024;
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

    // Choosing a page, as the window does: the marker check, then the list of its lines.
    makeLfOnlyPage(page, lfMegabytes << 20);
    std::vector<double> cat, choose;
    long choosePeakKb = 0;
    for (int r = 0; r < rounds; ++r) {
        cat.push_back(timed("cat '" + page + "' >/dev/null"));
        Run c = inChild([&] {
            if (pageHasInsertionLine(page))
                throw std::runtime_error("an LF-only page has no marker line");
            (void)loadInsertionList(page);
        });
        choose.push_back(c.seconds);
        choosePeakKb = std::max(choosePeakKb, c.peakKb);
    }
    removeFileQuietly(page);

    makeLongLinePage(page, megabytes << 20);
    std::vector<double> lineCp, lineSave;
    long lineSavePeakKb = 0, lineOtherPeakKb = 0;
    for (int r = 0; r < rounds; ++r) {
        lineCp.push_back(cpSync(page, copy));
        Run s = inChild([&] { writeEntry(page, entry, SaveMode::Insert); });
        lineSave.push_back(s.seconds);
        Run d = inChild([&] { deleteNewestEntry(page); });
        Run e = inChild([&] {
            PageRewrite rewrite(page);
            rewrite.CopyThroughMarker();
            (void)readNewestEntry(rewrite);
            rewrite.CopyRest();
            rewrite.commit();
        });
        Run u = inChild([&] { undoLastRewrite(page); });
        lineSavePeakKb = std::max(lineSavePeakKb, s.peakKb);
        lineOtherPeakKb = std::max({lineOtherPeakKb, d.peakKb, e.peakKb, u.peakKb});
    }
    removeFileQuietly(page);
    removeFileQuietly(copy);
    removeFileQuietly(bakFileOf(page));
    std::printf("LF-only page of %zu MB: cat %.3fs, choosing %.3fs with %.1f MB peak; "
                "page with a %zu MB line before the marker: cp+sync %.3fs, save %.3fs with %.1f MB peak, "
                "delete/edit/undo %.1f MB peak\n",
                lfMegabytes, median(cat), median(choose), choosePeakKb / 1024.0, megabytes, median(lineCp),
                median(lineSave), lineSavePeakKb / 1024.0, lineOtherPeakKb / 1024.0);
    std::printf("page: save_vs_cp=%.2f peak_rss_mb=%.1f delete_vs_cp=%.2f edit_vs_cp=%.2f undo_ms=%.2f "
                "choose_lf_vs_cat=%.2f choose_lf_peak_mb=%.1f long_line_save_vs_cp=%.2f "
                "long_line_peak_mb=%.1f\n",
                median(save) / ref, peakKb / 1024.0, median(del) / ref, median(edit) / ref,
                median(undo) * 1000, median(choose) / median(cat), choosePeakKb / 1024.0,
                median(lineSave) / median(lineCp), std::max(lineSavePeakKb, lineOtherPeakKb) / 1024.0);
}
