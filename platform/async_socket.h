#pragma once
// Winsock on POSIX: non-blocking IPv4 TCP sockets whose readiness is turned into one-shot
// notifications (FD_READ, FD_WRITE, FD_ACCEPT, FD_CONNECT, FD_CLOSE) posted to a
// MessageWindow with Winsock error numbers, plus the asynchronous name lookup.

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>

class QSocketNotifier;

namespace quillet::platform {

class MessageWindow;

// Winsock error numbers used by the logic.
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEWOULDBLOCK = 10035;
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

// One socket. Owns its descriptor; notifiers are removed before it is closed. Every call
// leaves its Winsock error number in lastError().
class AsyncSocket {
public:
    // A new TCP socket; nullptr with lastError() set when none can be made.
    static std::unique_ptr<AsyncSocket> create();
    // Takes over an accepted, connected descriptor.
    static std::unique_ptr<AsyncSocket> adopt(int fd);
    ~AsyncSocket();
    AsyncSocket(const AsyncSocket&) = delete;
    AsyncSocket& operator=(const AsyncSocket&) = delete;

    int fd() const { return fd_; }
    std::uintptr_t tag() const { return tag_; }
    int lastError() const { return lastError_; }

    // WSAAsyncSelect: the events of mask go to window as message msg with wParam = tag();
    // mask 0 switches them off.
    void select(MessageWindow* window, unsigned msg, unsigned mask);

    // SO_LINGER: on with 0 seconds resets the connection at close.
    bool setLinger(bool on, int seconds);
    // 0 when connected at once, -1 otherwise (WSAEWOULDBLOCK while under way). Either way
    // FD_CONNECT follows.
    int connect(const sockaddr_in& address);
    // Bytes accepted, or -1. Would-block arms FD_WRITE; a hard error posts FD_CLOSE with it.
    ssize_t send(const char* data, std::size_t length);
    // Bytes read (0 at the end), or -1. Re-arms FD_READ; the end of the data posts FD_CLOSE,
    // a hard error FD_CLOSE with that error.
    ssize_t recv(char* buffer, std::size_t length);
    int bind(const sockaddr_in& address);
    int listen(int backlog);
    // A new non-blocking socket, or -1. Re-arms FD_ACCEPT.
    int accept(sockaddr_in* peer);
    bool localAddress(sockaddr_in* address);

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

// WSAAsyncGetHostByName: looks name up (IPv4) on a worker thread and posts msg to window with
// wParam = the returned tag and lParam = selectLParam(0, error). The address is taken with
// takeLookupResult(tag) when the reply is handled. A lookup that is abandoned (cancelLookup)
// posts nothing, and nothing is posted to a window that has gone.
class LookupRelay;
class HostLookup {
public:
    explicit HostLookup(MessageWindow* window);
    ~HostLookup(); // abandons any running lookup
    HostLookup(const HostLookup&) = delete;
    HostLookup& operator=(const HostLookup&) = delete;

    std::uintptr_t start(const std::string& name, unsigned msg);
    void cancel();
    // The address (network order) of the finished lookup with this tag; false when the tag is
    // not the current lookup or it failed.
    bool takeResult(std::uintptr_t tag, in_addr* address);

private:
    std::shared_ptr<LookupRelay> relay_;
};

// Test seam: replaces getaddrinfo for the lookups that start afterwards (runs on the worker
// thread; returns a getaddrinfo error or 0). An empty function restores the real lookup.
using Resolver = std::function<int(const std::string& name, in_addr* address)>;
void setResolver(Resolver resolver);

// inet_addr: dotted IPv4 text to an address in network order, INADDR_NONE when it is not one.
std::uint32_t inetAddr(const std::string& text);

} // namespace quillet::platform
