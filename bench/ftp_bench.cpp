// Upload, download and connect-LIST-QUIT cycles through TNMFTP against curl in active mode
// (curl -P -), both against the same pyftpdlib on loopback in the same invocation. Quillet's
// download is durable (synced before it replaces the file), so curl's is followed by an fsync of
// its file. A 10 ms timer meanwhile records the largest gap of the event loop during a download.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "../tests/ftp/ftp_servers.h"
#include "net/ftp_client.h"

using namespace quillet::net;
using Clock = std::chrono::steady_clock;

namespace {
double seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double timeCommand(const std::string& command) {
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
    return seconds(start);
}

// The largest gap in ms between the ticks of a 10 ms timer while `work` runs.
template <class F> long long largestGap(F&& work) {
    QElapsedTimer clock;
    qint64 last = 0, gap = 0;
    auto tick = [&] {
        const qint64 now = clock.elapsed();
        gap = std::max(gap, now - last);
        last = now;
    };
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, tick);
    clock.start();
    timer.start(10);
    work();
    tick();
    return gap;
}

void writePayload(const std::string& file, std::size_t megabytes) {
    std::ofstream out(file, std::ios::binary);
    std::string block(1 << 20, '\0');
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>((i * 2654435761u) >> 13);
    for (std::size_t i = 0; i < megabytes; ++i)
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void connect(TNMFTP& ftp, const quillet::testing::PyFtpServer& server) {
    ftp.Host = "127.0.0.1";
    ftp.Port = server.port();
    ftp.UserID = server.user();
    ftp.Password = server.password();
    ftp.TimeOut = 60000;
    ftp.Connect();
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::filesystem::path dir = argc > 1 ? argv[1] : "/tmp";
    const std::size_t megabytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 200;
    const int cycles = argc > 3 ? std::atoi(argv[3]) : 20;
    const std::size_t gapMegabytes = argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 500;
    const auto root = dir / "root";
    std::filesystem::create_directories(root);
    const std::string file = (dir / "payload.bin").string();
    writePayload(file, megabytes);
    quillet::testing::PyFtpServer server(root);
    const std::string url = "ftp://" + server.user() + ":" + server.password() +
                            "@127.0.0.1:" + std::to_string(server.port()) + "/";
    const std::string curl = "curl -s -S -P - ";

    // Upload and download, TYPE I on both sides; the median of a few rounds each.
    const int rounds = 3;
    std::vector<double> curlUps, curlDowns, ourUps, ourDowns;
    TNMFTP ftp;
    connect(ftp, server);
    ftp.SetTransferType(2);
    for (int r = 0; r < rounds; ++r) {
        curlUps.push_back(timeCommand(curl + "-T '" + file + "' '" + url + "curl.bin'"));
        const std::string curlBack = (dir / "curl-back.bin").string();
        curlDowns.push_back(
            timeCommand(curl + "-o '" + curlBack + "' '" + url + "curl.bin' && sync '" + curlBack + "'"));
        auto start = Clock::now();
        ftp.Upload(file, "ours.bin");
        ourUps.push_back(seconds(start));
        start = Clock::now();
        ftp.Download("ours.bin", (dir / "ours-back.bin").string());
        ourDowns.push_back(seconds(start));
    }
    if (std::filesystem::file_size(dir / "ours-back.bin") != megabytes << 20) {
        std::fprintf(stderr, "download incomplete\n");
        return 1;
    }
    // The event loop during one large download, its final fsync included.
    std::filesystem::remove(dir / "ours-back.bin");
    writePayload((root / "gap.bin").string(), gapMegabytes);
    ::sync();
    const long long downloadGap =
        largestGap([&] { ftp.Download("gap.bin", (dir / "gap-back.bin").string()); });
    std::filesystem::remove(root / "gap.bin");
    std::filesystem::remove(dir / "gap-back.bin");
    ftp.Disconnect();
    const double curlUp = median(curlUps), curlDown = median(curlDowns);
    const double ourUp = median(ourUps), ourDown = median(ourDowns);

    // Connect, LIST, QUIT.
    auto start = Clock::now();
    for (int i = 0; i < cycles; ++i)
        timeCommand(curl + "-o /dev/null '" + url + "'");
    const double curlCycles = seconds(start);
    start = Clock::now();
    for (int i = 0; i < cycles; ++i) {
        TNMFTP c;
        connect(c, server);
        int items = 0;
        c.OnListItem = [&items](const std::string&) { ++items; };
        c.List();
        c.Disconnect();
        if (items < 2) {
            std::fprintf(stderr, "listing incomplete\n");
            return 1;
        }
    }
    const double ourCycles = seconds(start);

    std::printf("%zu MB: upload curl %.2fs ours %.2fs; download curl %.2fs ours %.2fs; "
                "%d cycles curl %.2fs ours %.2fs\n",
                megabytes, curlUp, ourUp, curlDown, ourDown, cycles, curlCycles, ourCycles);
    std::printf("ftp: upload_vs_curl=%.2f download_vs_curl=%.2f cycle_vs_curl=%.2f download_gap_ms=%lld "
                "gap_megabytes=%zu\n",
                ourUp / curlUp, ourDown / curlDown, ourCycles / curlCycles, downloadGap, gapMegabytes);
}
