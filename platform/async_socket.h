#pragma once
// Winsock on POSIX: non-blocking IPv4 and IPv6 TCP sockets whose readiness is turned into
// one-shot notifications (FD_READ, FD_WRITE, FD_ACCEPT, FD_CONNECT, FD_CLOSE) posted to a
// MessageWindow with Winsock error numbers, plus the asynchronous name lookup.

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

class QSocketNotifier;

namespace quillet::platform {

class MessageWindow;

// Winsock error numbers used by the logic.
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

enum : unsigned {
    FD_READ = 1,
    FD_WRITE = 2,
    FD_OOB = 4,
    FD_ACCEPT = 8,
    FD_CONNECT = 16,
    FD_CLOSE = 32,
    FD_ALL_EVENTS = 63
};

// The Winsock number for an errno value. Numbers Winsock has no name for are mapped above
// the table (12000 + errno), so they show as unknown with the errno still visible.
int winsockErrorFromErrno(int errnum);
// The Winsock number for a getaddrinfo() result.
int winsockErrorFromLookup(int gaiError);

// lParam of a Winsock notification: event code in the low 16 bits, error in the high 16 bits.
inline std::intptr_t selectLParam(unsigned event, int error) {
    return static_cast<std::intptr_t>((static_cast<unsigned>(error) << 16) | (event & 0xFFFF));
}
inline unsigned selectEvent(std::intptr_t lParam) { return static_cast<unsigned>(lParam) & 0xFFFF; }
inline int selectError(std::intptr_t lParam) {
    return static_cast<int>((static_cast<unsigned>(lParam) >> 16) & 0xFFFF);
}

// A tag that tells notifications of one socket (or lookup) from those of any other, even when
// a new socket gets the descriptor number of a closed one at once.
std::uintptr_t newNotificationTag();

// An IPv4 or IPv6 address with its port; empty (family AF_UNSPEC) until one is set.
class SocketAddress {
public:
    SocketAddress() = default;
    SocketAddress(const sockaddr_in& address);  // NOLINT: an IPv4 address is one
    SocketAddress(const sockaddr_in6& address); // NOLINT: and so is an IPv6 one
    // From what the system filled in (accept, getsockname); empty for another family.
    static SocketAddress fromSystem(const sockaddr_storage& address);
    // A numeric address: dotted IPv4 as inet_addr reads it (so "255.255.255.255" is none), or
    // IPv6, with or without brackets. Nothing for a host name.
    static std::optional<SocketAddress> numeric(const std::string& text, std::uint16_t port = 0);
    // The address of the same family that stands for every interface.
    static SocketAddress any(int family, std::uint16_t port = 0);

    bool empty() const { return family() == AF_UNSPEC; }
    int family() const { return storage_.ss_family; }
    std::uint16_t port() const; // host order
    void setPort(std::uint16_t port);
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage_); }
    socklen_t size() const;
    // The same host, whatever the ports (an IPv4-mapped IPv6 address is its IPv4 one).
    bool sameHost(const SocketAddress& other) const;
    // The host as text: "192.0.2.1", "2001:db8::1"; empty when there is none.
    std::string hostText() const;
    // The IPv4 address in network order; 0 for any other.
    std::uint32_t ipv4() const;

private:
    sockaddr_storage storage_{};
};

// One socket. Owns its descriptor; notifiers are removed before it is closed. Every call
// leaves its Winsock error number in lastError().
class AsyncSocket {
public:
    // A new TCP socket of the family (AF_INET or AF_INET6); nullptr when none can be made.
    static std::unique_ptr<AsyncSocket> create(int family = AF_INET);
    // Takes over an accepted, connected descriptor.
    static std::unique_ptr<AsyncSocket> adopt(int fd);
    ~AsyncSocket();
    AsyncSocket(const AsyncSocket&) = delete;
    AsyncSocket& operator=(const AsyncSocket&) = delete;

    int fd() const { return fd_; }
    int family() const { return family_; }
    std::uintptr_t tag() const { return tag_; }
    int lastError() const { return lastError_; }

    // WSAAsyncSelect: the events of mask go to window as message msg with wParam = tag();
    // mask 0 switches them off.
    void select(MessageWindow* window, unsigned msg, unsigned mask);

    // SO_LINGER: on with 0 seconds resets the connection at close.
    bool setLinger(bool on, int seconds);
    // 0 when connected at once, -1 otherwise (WSAEWOULDBLOCK while under way). Either way
    // FD_CONNECT follows.
    int connect(const SocketAddress& address);
    // Bytes accepted, or -1. Would-block arms FD_WRITE; a hard error posts FD_CLOSE with it.
    ssize_t send(const char* data, std::size_t length);
    // Bytes read (0 at the end), or -1. Re-arms FD_READ; the end of the data posts FD_CLOSE,
    // a hard error FD_CLOSE with that error.
    ssize_t recv(char* buffer, std::size_t length);
    // Ends the sending direction (the peer reads the end of the stream); reading goes on.
    bool shutdownWrite();
    int bind(const SocketAddress& address);
    int listen(int backlog);
    // A new non-blocking socket, or -1. Re-arms FD_ACCEPT.
    int accept(SocketAddress* peer);
    bool localAddress(SocketAddress* address);

private:
    enum class State { Idle, Connecting, Connected, Listening, Closed };
    AsyncSocket(int fd, State state);
    int fail(int errnum);
    void arm();
    void onReadable();
    void onWritable();
    void post(unsigned event, int error);
    void postClose(int error);

    int fd_ = -1;
    int family_ = AF_INET;
    std::uintptr_t tag_;
    int lastError_ = 0;
    State state_;
    MessageWindow* window_ = nullptr;
    unsigned msg_ = 0;
    unsigned mask_ = 0;
    bool wantWrite_ = false; // a send would have blocked: FD_WRITE when writable again
    bool readArmed_ = false;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
};

// WSAAsyncGetHostByName: looks name up (IPv4 and IPv6) on a worker thread and posts msg to
// window with wParam = the returned tag and lParam = selectLParam(0, error). The addresses, in
// the order the system prefers them, are taken with takeResult(tag) when the reply is handled. A lookup that
// is abandoned (cancelLookup) posts nothing, and nothing is posted to a window that has gone.
class LookupRelay;
class HostLookup {
public:
    explicit HostLookup(MessageWindow* window);
    ~HostLookup(); // abandons any running lookup
    HostLookup(const HostLookup&) = delete;
    HostLookup& operator=(const HostLookup&) = delete;

    std::uintptr_t start(const std::string& name, unsigned msg);
    void cancel();
    // The addresses (port 0) of the finished lookup with this tag; false when the tag is not
    // the current lookup or it failed.
    bool takeResult(std::uintptr_t tag, std::vector<SocketAddress>* addresses);

private:
    std::shared_ptr<LookupRelay> relay_;
};

// Test seam: replaces getaddrinfo for the lookups that start afterwards (runs on the worker
// thread; returns a getaddrinfo error or 0 with at least one address). An empty function
// restores the real lookup.
using Resolver = std::function<int(const std::string& name, std::vector<SocketAddress>* addresses)>;
void setResolver(Resolver resolver);

// inet_addr: dotted IPv4 text to an address in network order, INADDR_NONE when it is not one.
std::uint32_t inetAddr(const std::string& text);

} // namespace quillet::platform
