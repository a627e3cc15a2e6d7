// Socket layer against plain blocking loops on the same loopback peers: SendFile and
// CaptureFile of one file, and Transaction round trips. Prints ratios; asserts nothing.
//   socket_bench <folder> [megabytes] [round trips]

#include "net/socket.h"

#include <QCoreApplication>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>

using quillet::net::TPowersock;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::size_t kPlainBlock = 65536;

int listenLoopback(std::uint16_t* port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(fd, 4) != 0)
        throw std::runtime_error("cannot listen");
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    *port = ntohs(a.sin_port);
    return fd;
}

int connectLoopback(std::uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        throw std::runtime_error("cannot connect");
    return fd;
}

void sendAll(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        ssize_t k = ::send(fd, p, n, MSG_NOSIGNAL);
        if (k <= 0)
            throw std::runtime_error("send failed");
        p += k;
        n -= static_cast<std::size_t>(k);
    }
}

// Lines from a socket, read in blocks as a plain client would.
class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd) {}
    std::string next() {
        for (;;) {
            if (auto lf = buffered_.find('\n'); lf != std::string::npos) {
                std::string line = buffered_.substr(0, lf + 1);
                buffered_.erase(0, lf + 1);
                return line;
            }
            char buf[4096];
            ssize_t k = ::recv(fd_, buf, sizeof buf, 0);
            if (k <= 0)
                return std::exchange(buffered_, {});
            buffered_.append(buf, static_cast<std::size_t>(k));
        }
    }

private:
    int fd_;
    std::string buffered_;
};

std::string recvLine(int fd) { return LineReader(fd).next(); }

// A peer on its own thread serving one connection with script.
class Peer {
public:
    explicit Peer(std::function<void(int)> script) : listener_(listenLoopback(&port_)) {
        thread_ = std::thread([this, script = std::move(script)] {
            int fd = ::accept(listener_, nullptr, nullptr);
            script(fd);
            ::close(fd);
        });
    }
    ~Peer() {
        thread_.join();
        ::close(listener_);
    }
    std::uint16_t port() const { return port_; }

private:
    std::uint16_t port_ = 0;
    int listener_;
    std::thread thread_;
};

// Reads n bytes and answers "done".
void sink(int fd, std::size_t n) {
    std::string buf(kPlainBlock, '\0');
    std::size_t got = 0;
    while (got < n) {
        ssize_t k = ::recv(fd, buf.data(), buf.size(), 0);
        if (k <= 0)
            break;
        got += static_cast<std::size_t>(k);
    }
    sendAll(fd, "done\n", 5);
    char c;
    ::recv(fd, &c, 1, 0);
}

void source(int fd, const std::string& content) { sendAll(fd, content.data(), content.size()); }

// Echoes each line as a reply until the connection ends.
void echo(int fd) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    LineReader lines(fd);
    for (std::string line; !(line = lines.next()).empty();) {
        std::string reply = "200 " + line;
        sendAll(fd, reply.data(), reply.size());
    }
}

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double plainSendFile(const std::string& path, std::size_t size) {
    Peer peer([size](int fd) { sink(fd, size); });
    auto start = Clock::now();
    int s = connectLoopback(peer.port());
    int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::string buf(kPlainBlock, '\0');
    for (ssize_t k; (k = ::read(in, buf.data(), buf.size())) > 0;)
        sendAll(s, buf.data(), static_cast<std::size_t>(k));
    ::close(in);
    recvLine(s);
    double t = seconds(start);
    ::close(s);
    return t;
}

double plainCapture(const std::string& content, const std::string& target) {
    Peer peer([&](int fd) { source(fd, content); });
    auto start = Clock::now();
    int s = connectLoopback(peer.port());
    int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    std::string buf(kPlainBlock, '\0');
    for (ssize_t k; (k = ::recv(s, buf.data(), buf.size(), 0)) > 0;)
        if (::write(out, buf.data(), static_cast<std::size_t>(k)) != k)
            throw std::runtime_error("write failed");
    ::close(out);
    double t = seconds(start);
    ::close(s);
    return t;
}

double componentSendFile(const std::string& path, std::size_t size) {
    Peer peer([size](int fd) { sink(fd, size); });
    auto start = Clock::now();
    TPowersock s;
    s.Host = "127.0.0.1";
    s.Port = peer.port();
    s.Connect();
    s.SendFile(path);
    s.ReadLn();
    return seconds(start);
}

double componentCapture(const std::string& content, const std::string& target) {
    Peer peer([&](int fd) { source(fd, content); });
    auto start = Clock::now();
    TPowersock s;
    s.Host = "127.0.0.1";
    s.Port = peer.port();
    s.Connect();
    s.CaptureFile(target);
    return seconds(start);
}

double plainTransactions(int rounds) {
    Peer peer(echo);
    int s = connectLoopback(peer.port());
    int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    LineReader replies(s);
    auto start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        std::string line = "NOOP " + std::to_string(i) + "\r\n";
        sendAll(s, line.data(), line.size());
        replies.next();
    }
    double t = seconds(start);
    ::close(s);
    return t;
}

double componentTransactions(int rounds) {
    Peer peer(echo);
    TPowersock s;
    s.Host = "127.0.0.1";
    s.Port = peer.port();
    s.Connect();
    int one = 1;
    ::setsockopt(s.SocketHandle(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto start = Clock::now();
    for (int i = 0; i < rounds; ++i)
        s.Transaction("NOOP " + std::to_string(i));
    double t = seconds(start);
    s.SetLinger(false, 0);
    return t;
}

template <class F> double best(int runs, F f) {
    double b = 1e300;
    for (int i = 0; i < runs; ++i)
        b = std::min(b, f());
    return b;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: socket_bench <folder> [megabytes] [round trips]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const std::size_t megabytes = argc > 2 ? std::stoul(argv[2]) : 200;
    const int rounds = argc > 3 ? std::stoi(argv[3]) : 10000;
    const std::size_t size = megabytes * 1024 * 1024;

    std::string content(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        content[i] = static_cast<char>((i * 2654435761u) >> 13);
    const std::string file = dir + "/send.bin";
    const std::string target = dir + "/capture.bin";
    {
        int out = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (::write(out, content.data(), size) != static_cast<ssize_t>(size))
            throw std::runtime_error("cannot write the test file");
        ::close(out);
    }

    const int runs = 3;
    double plainFile = best(runs, [&] { return plainSendFile(file, size); }) +
                       best(runs, [&] { return plainCapture(content, target); });
    double ourSend = best(runs, [&] { return componentSendFile(file, size); });
    double ourCapture = best(runs, [&] { return componentCapture(content, target); });
    double plainTx = best(runs, [&] { return plainTransactions(rounds); });
    double ourTx = best(runs, [&] { return componentTransactions(rounds); });

    std::printf(
        "SendFile %zu MB: %.3f s, CaptureFile: %.3f s; plain send + recv loops (%zu-byte blocks): %.3f s\n",
        megabytes, ourSend, ourCapture, kPlainBlock, plainFile);
    std::printf("%d Transaction round trips: %.3f s; plain send and receive: %.3f s\n", rounds, ourTx,
                plainTx);
    std::printf("socket: file_vs_plain=%.2f transaction_vs_plain=%.2f\n", (ourSend + ourCapture) / plainFile,
                ourTx / plainTx);
    return 0;
}
