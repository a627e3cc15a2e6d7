// How large a page the insertion-point dialog can hold: loads pages of growing size into the
// dialog's list and prints the time and the process's peak memory for each. The limit in
// document/page_open.h is chosen from these figures.
#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/resource.h>

#include "dialogs/insertion_point_dialog.h"
#include "document/page_open.h"

namespace {
long peakRssMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}
} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: list_bench <folder> <megabytes> <line length>\n");
        return 2;
    }
    const std::string page = std::string(argv[1]) + "/list.html";
    const std::size_t bytes = std::stoul(argv[2]) << 20;
    const std::size_t lineLength = std::stoul(argv[3]);
    {
        std::string line(lineLength, 'x');
        line += "\r\n";
        std::ofstream out(page, std::ios::binary);
        for (std::size_t written = 0; written < bytes; written += line.size())
            out << line;
    }
    QElapsedTimer timer;
    timer.start();
    quillet::ui::TFormSetIns dialog(nullptr);
    try {
        dialog.load(quillet::doc::loadInsertionList(page));
    } catch (const quillet::doc::ListTooLargeError&) {
        std::printf("list: megabytes=%s line_length=%zu refused\n", argv[2], lineLength);
        return 0;
    }
    dialog.show();
    app.processEvents();
    std::printf("list: megabytes=%s line_length=%zu items=%zu seconds=%.2f peak_rss_mb=%ld\n", argv[2],
                lineLength, dialog.lines().size(), timer.elapsed() / 1000.0, peakRssMb());
    return 0;
}
