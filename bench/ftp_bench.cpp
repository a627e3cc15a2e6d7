// Upload, download and connect-LIST-QUIT cycles through TNMFTP against curl, both against the
// same pyftpdlib on loopback in the same invocation:
//   ftp_bench DIR MB CYCLES GAP_MB      plain FTP, active (curl -P -) and passive (curl's EPSV)
//   ftp_bench DIR MB CYCLES GAP_MB tls  FTP over TLS in passive mode (curl --ssl-reqd), test CA
// Quillet's download is durable (synced before it replaces the file), so curl's is followed by an
// fsync of its file. A 10 ms timer meanwhile records the largest gap of the event loop during a
// download of GAP_MB (plain, active).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include "../tests/ftp/ftp_servers.h"
#include "../tests/net/test_certificates.h"
#include "document/site_list.h"
#include "net/ftp_client.h"

using namespace quillet::net;
using quillet::testing::Certificates;
using quillet::testing::PyFtpOptions;
using quillet::testing::PyFtpServer;
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

// How a client of ours is set up for the run.
using Setup = std::function<void(TNMFTP&)>;

void connect(TNMFTP& ftp, const PyFtpServer& server, const Setup& setup) {
    ftp.Host = "127.0.0.1";
    ftp.Port = server.port();
    ftp.UserID = server.user();
    ftp.Password = server.password();
    ftp.TimeOut = 60000;
    setup(ftp);
    ftp.Connect();
}

struct Figures {
    double curlUp, curlDown, ourUp, ourDown;
};

// Upload and download, TYPE I on both sides; the median of a few rounds each.
Figures transfers(const PyFtpServer& server, const std::string& curl, const std::string& url,
                  const std::filesystem::path& dir, const std::string& file, std::uintmax_t size,
                  const Setup& setup) {
    const int rounds = 3;
    std::vector<double> curlUps, curlDowns, ourUps, ourDowns;
    TNMFTP ftp;
    connect(ftp, server, setup);
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
    ftp.Disconnect();
    if (std::filesystem::file_size(dir / "ours-back.bin") != size ||
        std::filesystem::file_size(dir / "curl-back.bin") != size) {
        std::fprintf(stderr, "download incomplete\n");
        std::exit(1);
    }
    return {median(curlUps), median(curlDowns), median(ourUps), median(ourDowns)};
}

// Connect, LIST, QUIT, as whole sessions.
std::pair<double, double> cycles(const PyFtpServer& server, const std::string& curl, const std::string& url,
                                 int count, const Setup& setup) {
    auto start = Clock::now();
    for (int i = 0; i < count; ++i)
        timeCommand(curl + "-o /dev/null '" + url + "'");
    const double curlTime = seconds(start);
    start = Clock::now();
    for (int i = 0; i < count; ++i) {
        TNMFTP c;
        connect(c, server, setup);
        int items = 0;
        c.OnListItem = [&items](const std::string&) { ++items; };
        c.List();
        c.Disconnect();
        if (items < 2) {
            std::fprintf(stderr, "listing incomplete\n");
            std::exit(1);
        }
    }
    return {curlTime, seconds(start)};
}

void printFigures(const char* what, std::size_t megabytes, const Figures& f) {
    std::printf("%s, %zu MB: upload curl %.2fs ours %.2fs; download curl %.2fs ours %.2fs\n", what, megabytes,
                f.curlUp, f.ourUp, f.curlDown, f.ourDown);
}
constexpr int kPublishRuns = 20;

// `quillet publish` of a 100 KB page against `curl -T` of the same file, each run a new process,
// passive and plain on both sides, as a new site is by default (but TLS, which curl would need a
// CA for): the cost of a script's or a hook's one publish, start-up included.
std::pair<double, double> publishes(const PyFtpServer& server, const std::string& curl,
                                    const std::string& url, const std::filesystem::path& dir, int runs) {
    const std::string page = (dir / "diary.html").string();
    {
        std::ofstream out(page, std::ios::binary);
        out << "<HTML>\r\n<BODY>\r\n<!-INS-!>\r\n";
        for (int i = 0; out.tellp() < 100 * 1024; ++i)
            out << "<!-BDY-A-!>\r\nentry " << i
                << ": a line of the diary as the author wrote it\r\n<!-BDY-B-!><HR>\r"
                << "<!-END-!>\r\n";
        out << "</BODY>\r\n</HTML>\r\n";
    }
    quillet::doc::SiteEntry site;
    site.title = "bench";
    site.host = "127.0.0.1";
    site.port = std::to_string(server.port());
    site.user = server.user();
    site.password = server.password();
    site.security = quillet::doc::Security::Plain;
    const std::string settings = (dir / "sites.ini").string();
    quillet::doc::saveSiteList(settings, {site});
    const std::string ours = std::string("'") + QUILLET_BINARY + "' publish '" + page +
                             "' --site bench --remote quillet.html --settings '" + settings + "'";
    const std::string theirs = curl + "-T '" + page + "' '" + url + "curl.html'";
    const auto started = Clock::now();
    for (int i = 0; i < runs; ++i)
        timeCommand(theirs);
    const double curlTime = seconds(started);
    const auto ourStart = Clock::now();
    for (int i = 0; i < runs; ++i)
        timeCommand(ours);
    return {curlTime, seconds(ourStart)};
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::filesystem::path dir = argc > 1 ? argv[1] : "/tmp";
    const std::size_t megabytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 200;
    const int cycleCount = argc > 3 ? std::atoi(argv[3]) : 20;
    const std::size_t gapMegabytes = argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 500;
    const bool tls = argc > 5 && std::string(argv[5]) == "tls";
    const auto root = dir / "root";
    std::filesystem::create_directories(root);
    const std::string file = (dir / "payload.bin").string();
    writePayload(file, megabytes);
    const std::uintmax_t size = std::uintmax_t(megabytes) << 20;

    if (tls) {
        const Certificates& certs = Certificates::get();
        if (!certs.ok()) {
            std::fprintf(stderr, "the openssl command could not make the test certificates\n");
            return 1;
        }
        PyFtpOptions options;
        options.certificate = certs.pem("good");
        options.key = certs.key("good");
        PyFtpServer server(root, options);
        const std::string url = "ftp://" + server.user() + ":" + server.password() +
                                "@127.0.0.1:" + std::to_string(server.port()) + "/";
        const std::string curl = "curl -s -S --ssl-reqd --cacert '" + certs.ca() + "' ";
        const Figures f = transfers(server, curl, url, dir, file, size, [&](TNMFTP& ftp) {
            ftp.Passive = true;
            ftp.UseTls = true;
            ftp.TrustedCaFile = certs.ca();
            ftp.NegotiateFeatures = true;
        });
        printFigures("TLS, passive", megabytes, f);
        std::printf("ftps: upload_vs_curl=%.2f download_vs_curl=%.2f\n", f.ourUp / f.curlUp,
                    f.ourDown / f.curlDown);
        return 0;
    }

    PyFtpServer server(root);
    const std::string url = "ftp://" + server.user() + ":" + server.password() +
                            "@127.0.0.1:" + std::to_string(server.port()) + "/";
    const std::string activeCurl = "curl -s -S -P - ";
    const std::string passiveCurl = "curl -s -S ";
    const Setup active = [](TNMFTP&) {};
    const Setup passive = [](TNMFTP& ftp) { ftp.Passive = true; };
    const Figures a = transfers(server, activeCurl, url, dir, file, size, active);
    const Figures p = transfers(server, passiveCurl, url, dir, file, size, passive);
    // The event loop during one large download, its final fsync included.
    writePayload((root / "gap.bin").string(), gapMegabytes);
    ::sync();
    long long downloadGap = 0;
    {
        TNMFTP ftp;
        connect(ftp, server, active);
        ftp.SetTransferType(2);
        downloadGap = largestGap([&] { ftp.Download("gap.bin", (dir / "gap-back.bin").string()); });
        ftp.Disconnect();
    }
    std::filesystem::remove(root / "gap.bin");
    std::filesystem::remove(dir / "gap-back.bin");
    const auto [curlCycles, ourCycles] = cycles(server, activeCurl, url, cycleCount, active);
    const auto [curlPassiveCycles, ourPassiveCycles] = cycles(server, passiveCurl, url, cycleCount, passive);
    const auto [curlPublish, ourPublish] = publishes(server, passiveCurl, url, dir, kPublishRuns);
    printFigures("active", megabytes, a);
    printFigures("passive", megabytes, p);
    std::printf("%d cycles: active curl %.2fs ours %.2fs; passive curl %.2fs ours %.2fs\n", cycleCount,
                curlCycles, ourCycles, curlPassiveCycles, ourPassiveCycles);
    std::printf("%d publishes of a 100 KB page: curl -T %.2fs, quillet publish %.2fs\n", kPublishRuns,
                curlPublish, ourPublish);
    std::printf("ftp: upload_vs_curl=%.2f download_vs_curl=%.2f cycle_vs_curl=%.2f download_gap_ms=%lld "
                "gap_megabytes=%zu passive_upload_vs_curl=%.2f passive_download_vs_curl=%.2f "
                "passive_cycle_vs_curl=%.2f publish_vs_curl=%.2f\n",
                a.ourUp / a.curlUp, a.ourDown / a.curlDown, ourCycles / curlCycles, downloadGap, gapMegabytes,
                p.ourUp / p.curlUp, p.ourDown / p.curlDown, ourPassiveCycles / curlPassiveCycles,
                ourPublish / curlPublish);
}
