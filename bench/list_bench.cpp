// The insertion-point dialog on a large page: makes a page of lines of one length, lists it in
// the dialog and shows it (the window's "choose"), scrolls to its end, puts a marker after the
// last line and writes the list back as the window does. Prints the time and the process's
// peak memory of each step, and the peak before the page was listed.
#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/resource.h>

#include "dialogs/insertion_point_dialog.h"
#include "document/insertion_list.h"

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
        std::string chunk;
        while (chunk.size() < (1u << 20))
            chunk += line;
        std::ofstream out(page, std::ios::binary);
        for (std::size_t written = 0; written < bytes; written += chunk.size())
            out << chunk;
    }
    quillet::ui::TFormSetIns dialog(nullptr);
    dialog.show();
    app.processEvents();
    const long baseMb = peakRssMb();

    QElapsedTimer timer;
    timer.start();
    try {
        dialog.load(quillet::doc::loadInsertionList(page));
    } catch (const quillet::doc::ListTooLargeError&) {
        std::printf("list: megabytes=%s line_length=%zu refused\n", argv[2], lineLength);
        return 0;
    }
    app.processEvents();
    const double loadSeconds = timer.elapsed() / 1000.0;
    const long loadMb = peakRssMb();

    timer.restart();
    auto* list = dialog.ListBox1;
    const int last = list->model()->rowCount() - 1;
    list->setCurrentIndex(list->model()->index(last, 0));
    list->scrollTo(list->currentIndex());
    app.processEvents();
    dialog.ListBox1DblClick();
    app.processEvents();
    const double endSeconds = timer.elapsed() / 1000.0;

    timer.restart();
    const auto outcome = quillet::doc::saveInsertionList(page, dialog.lines());
    const double saveSeconds = timer.elapsed() / 1000.0;
    if (outcome != quillet::doc::SaveListOutcome::Saved) {
        std::fprintf(stderr, "list_bench: the list was not written\n");
        return 1;
    }
    std::printf("list: megabytes=%s line_length=%zu rows=%zu seconds=%.2f peak_rss_mb=%ld base_rss_mb=%ld "
                "end_seconds=%.3f save_seconds=%.2f save_peak_rss_mb=%ld\n",
                argv[2], lineLength, dialog.lines().size(), loadSeconds, loadMb, baseMb, endSeconds,
                saveSeconds, peakRssMb());
    return 0;
}
