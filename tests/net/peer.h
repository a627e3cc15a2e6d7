#pragma once
// Scripted peers for the socket tests: blocking POSIX sockets on 127.0.0.1, run on a thread
// of their own while the component waits on the test's event loop.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

namespace quillet::testing {

inline sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

inline void sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0)
            return;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

// Up to n bytes, fewer only when the connection ends.
inline std::string recvBytes(int fd, std::size_t n) {
    std::string out;
    char buf[65536];
    while (out.size() < n) {
        ssize_t got = ::recv(fd, buf, std::min(sizeof buf, n - out.size()), 0);
        if (got <= 0)
            break;
        out.append(buf, static_cast<std::size_t>(got));
    }
    return out;
}

inline std::string recvLine(int fd) {
    std::string line;
    char c;
    while (::recv(fd, &c, 1, 0) == 1) {
        line += c;
        if (c == '\n')
            break;
    }
    return line;
}

// Sets SO_LINGER to 0, so the close that follows resets the connection.
inline void resetOnClose(int fd) {
    linger l{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

inline int listenOn(std::uint16_t port, int backlog = 8) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = loopback(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, backlog) != 0)
        throw std::runtime_error("peer cannot listen");
    return fd;
}

inline std::uint16_t localPort(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

// A peer that accepts one connection and runs script on it; closes everything when done.
class Peer {
public:
    // receiveBuffer > 0 shrinks the accepted socket's receive buffer, so a peer that stops
    // reading soon stops the sender.
    explicit Peer(std::function<void(int fd)> script, int receiveBuffer = 0)
        : listener_(listenOn(0)), port_(localPort(listener_)) {
        if (receiveBuffer > 0)
            ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        thread_ = std::thread([this, script = std::move(script)] {
            int fd = ::accept(listener_, nullptr, nullptr);
            if (fd >= 0) {
                connection_ = fd;
                script(fd);
                connection_ = -1;
                ::close(fd);
            }
        });
    }
    ~Peer() {
        // Ends an accept that never got a connection, and a script still waiting on its peer.
        ::shutdown(listener_, SHUT_RDWR);
        if (int fd = connection_; fd >= 0)
            ::shutdown(fd, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;
    std::uint16_t port() const { return port_; }

private:
    int listener_;
    std::uint16_t port_;
    std::atomic<int> connection_{-1};
    std::thread thread_;
};

// Connects with a plain blocking socket.
inline int connectTo(std::uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace quillet::testing
