#include "platform/async_socket.h"

#include "platform/message_pump.h"

#include <QSocketNotifier>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <netdb.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace quillet::platform {

int winsockErrorFromErrno(int errnum) {
    switch (errnum) {
    case 0:
        return 0;
    case EINTR:
        return WSAEINTR;
    case EBADF:
        return WSAEBADF;
    case EACCES:
    case EPERM:
        return 10013;
    case EFAULT:
        return 10014;
    case EINVAL:
        return WSAEINVAL;
    case EMFILE:
    case ENFILE:
        return 10024;
    case EAGAIN:
    case EINPROGRESS:
        return WSAEWOULDBLOCK;
    case EALREADY:
        return 10037;
    case ENOTSOCK:
        return 10038;
    case EDESTADDRREQ:
        return 10039;
    case EMSGSIZE:
        return 10040;
    case EPROTOTYPE:
        return 10041;
    case ENOPROTOOPT:
        return 10042;
    case EPROTONOSUPPORT:
        return 10043;
    case ESOCKTNOSUPPORT:
        return 10044;
    case EOPNOTSUPP:
        return 10045;
    case EPFNOSUPPORT:
        return 10046;
    case EAFNOSUPPORT:
        return 10047;
    case EADDRINUSE:
        return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
        return 10049;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ENETRESET:
        return 10052;
    case ECONNABORTED:
        return WSAECONNABORTED;
    case ECONNRESET:
        return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM:
        return 10055;
    case EISCONN:
        return 10056;
    case ENOTCONN:
        return WSAENOTCONN;
    case ESHUTDOWN:
    case EPIPE:
        return WSAESHUTDOWN;
    case ETOOMANYREFS:
        return 10059;
    case ETIMEDOUT:
        return WSAETIMEDOUT;
    case ECONNREFUSED:
        return WSAECONNREFUSED;
    case ELOOP:
        return 10062;
    case ENAMETOOLONG:
        return 10063;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return 10065;
    case ENOTEMPTY:
        return 10066;
    case EUSERS:
        return 10068;
    case EDQUOT:
        return 10069;
    case ESTALE:
        return 10070;
    case EREMOTE:
        return 10071;
    default:
        return 12000 + errnum;
    }
}

int winsockErrorFromLookup(int gaiError) {
    switch (gaiError) {
    case 0:
        return 0;
    case EAI_NONAME:
        return WSAHOST_NOT_FOUND;
    case EAI_AGAIN:
        return WSATRY_AGAIN;
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
        return WSANO_DATA;
    case EAI_SYSTEM:
        return winsockErrorFromErrno(errno);
    default:
        return WSANO_RECOVERY;
    }
}

std::uintptr_t newNotificationTag() {
    static std::atomic<std::uintptr_t> next{1};
    return next++;
}

std::uint32_t inetAddr(const std::string& text) { return ::inet_addr(text.c_str()); }

// ---- SocketAddress ----

SocketAddress::SocketAddress(const sockaddr_in& address) { std::memcpy(&storage_, &address, sizeof address); }

SocketAddress::SocketAddress(const sockaddr_in6& address) {
    std::memcpy(&storage_, &address, sizeof address);
}

SocketAddress SocketAddress::fromSystem(const sockaddr_storage& address) {
    SocketAddress result;
    if (address.ss_family == AF_INET || address.ss_family == AF_INET6)
        result.storage_ = address;
    return result;
}

std::optional<SocketAddress> SocketAddress::numeric(const std::string& text, std::uint16_t port) {
    const std::uint32_t v4 = inetAddr(text);
    if (v4 != INADDR_NONE) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = v4;
        a.sin_port = htons(port);
        return SocketAddress(a);
    }
    std::string bare = text;
    if (bare.size() > 2 && bare.front() == '[' && bare.back() == ']')
        bare = bare.substr(1, bare.size() - 2);
    sockaddr_in6 a{};
    if (::inet_pton(AF_INET6, bare.c_str(), &a.sin6_addr) != 1)
        return std::nullopt;
    a.sin6_family = AF_INET6;
    a.sin6_port = htons(port);
    return SocketAddress(a);
}

SocketAddress SocketAddress::any(int family, std::uint16_t port) {
    if (family == AF_INET6) {
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_addr = in6addr_any;
        a.sin6_port = htons(port);
        return SocketAddress(a);
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(port);
    return SocketAddress(a);
}

std::uint16_t SocketAddress::port() const {
    switch (family()) {
    case AF_INET:
        return ntohs(reinterpret_cast<const sockaddr_in*>(&storage_)->sin_port);
    case AF_INET6:
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage_)->sin6_port);
    default:
        return 0;
    }
}

void SocketAddress::setPort(std::uint16_t port) {
    if (family() == AF_INET)
        reinterpret_cast<sockaddr_in*>(&storage_)->sin_port = htons(port);
    else if (family() == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(&storage_)->sin6_port = htons(port);
}

socklen_t SocketAddress::size() const {
    switch (family()) {
    case AF_INET:
        return sizeof(sockaddr_in);
    case AF_INET6:
        return sizeof(sockaddr_in6);
    default:
        return 0;
    }
}

namespace {
// The IPv4 address an IPv4 or IPv4-mapped IPv6 address stands for.
std::optional<std::uint32_t> asIpv4(const sockaddr_storage& s) {
    if (s.ss_family == AF_INET)
        return reinterpret_cast<const sockaddr_in*>(&s)->sin_addr.s_addr;
    if (s.ss_family == AF_INET6) {
        const in6_addr& a = reinterpret_cast<const sockaddr_in6*>(&s)->sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&a)) {
            std::uint32_t v4;
            std::memcpy(&v4, a.s6_addr + 12, sizeof v4);
            return v4;
        }
    }
    return std::nullopt;
}
} // namespace

bool SocketAddress::sameHost(const SocketAddress& other) const {
    const auto mine = asIpv4(storage_);
    const auto theirs = asIpv4(other.storage_);
    if (mine || theirs)
        return mine && theirs && *mine == *theirs;
    if (family() != AF_INET6 || other.family() != AF_INET6)
        return false;
    const auto& a = *reinterpret_cast<const sockaddr_in6*>(&storage_);
    const auto& b = *reinterpret_cast<const sockaddr_in6*>(&other.storage_);
    return std::memcmp(&a.sin6_addr, &b.sin6_addr, sizeof a.sin6_addr) == 0 &&
           (!IN6_IS_ADDR_LINKLOCAL(&a.sin6_addr) || a.sin6_scope_id == b.sin6_scope_id);
}

std::string SocketAddress::hostText() const {
    char text[INET6_ADDRSTRLEN] = "";
    if (family() == AF_INET)
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&storage_)->sin_addr, text, sizeof text);
    else if (family() == AF_INET6)
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&storage_)->sin6_addr, text,
                    sizeof text);
    return text;
}

std::uint32_t SocketAddress::ipv4() const {
    return family() == AF_INET ? reinterpret_cast<const sockaddr_in*>(&storage_)->sin_addr.s_addr : 0;
}

// ---- AsyncSocket ----

std::unique_ptr<AsyncSocket> AsyncSocket::create(int family) {
    int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0)
        return nullptr;
    if (family == AF_INET6) {
        // An IPv6 socket speaks IPv6 only: an IPv4 peer is reached through an IPv4 socket.
        int one = 1;
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    }
    auto socket = std::unique_ptr<AsyncSocket>(new AsyncSocket(fd, State::Idle));
    socket->family_ = family;
    return socket;
}

std::unique_ptr<AsyncSocket> AsyncSocket::adopt(int fd) {
    auto socket = std::unique_ptr<AsyncSocket>(new AsyncSocket(fd, State::Connected));
    sockaddr_storage local{};
    socklen_t len = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) == 0 && local.ss_family == AF_INET6)
        socket->family_ = AF_INET6;
    return socket;
}

AsyncSocket::AsyncSocket(int fd, State state) : fd_(fd), tag_(newNotificationTag()), state_(state) {
    readNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    writeNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    readNotifier_->setEnabled(false);
    writeNotifier_->setEnabled(false);
    readArmed_ = true;
    // Nothing may leave a notifier slot: Qt's dispatch is no place for an exception.
    QObject::connect(readNotifier_.get(), &QSocketNotifier::activated, readNotifier_.get(), [this] {
        try {
            onReadable();
        } catch (...) {
        }
    });
    QObject::connect(writeNotifier_.get(), &QSocketNotifier::activated, writeNotifier_.get(), [this] {
        try {
            onWritable();
        } catch (...) {
        }
    });
}

AsyncSocket::~AsyncSocket() {
    // The notifiers go first: the descriptor number may belong to a new socket right after close.
    readNotifier_.reset();
    writeNotifier_.reset();
    if (fd_ >= 0)
        ::close(fd_);
}

int AsyncSocket::fail(int errnum) {
    lastError_ = winsockErrorFromErrno(errnum);
    return -1;
}

void AsyncSocket::select(MessageWindow* window, unsigned msg, unsigned mask) {
    window_ = mask ? window : nullptr;
    msg_ = msg;
    mask_ = mask;
    lastError_ = 0;
    arm();
    // Winsock reports a connected socket as writable when it is selected for FD_WRITE.
    if (state_ == State::Connected && (mask & FD_WRITE) && !wantWrite_)
        post(FD_WRITE, 0);
}

// QSocketNotifier is level-triggered and Winsock's notifications are one-shot: a notifier is
// enabled only while its notification is due.
void AsyncSocket::arm() {
    bool read = false;
    bool write = false;
    if (window_) {
        switch (state_) {
        case State::Connecting:
            write = true;
            break;
        case State::Connected:
            read = readArmed_ && (mask_ & (FD_READ | FD_CLOSE));
            write = wantWrite_ && (mask_ & FD_WRITE);
            break;
        case State::Listening:
            read = readArmed_ && (mask_ & FD_ACCEPT);
            break;
        case State::Idle:
        case State::Closed:
            break;
        }
    }
    if (readNotifier_->isEnabled() != read)
        readNotifier_->setEnabled(read);
    if (writeNotifier_->isEnabled() != write)
        writeNotifier_->setEnabled(write);
}

void AsyncSocket::post(unsigned event, int error) {
    if (window_ && (mask_ & event))
        window_->post(msg_, tag_, selectLParam(event, error));
}

void AsyncSocket::postClose(int error) {
    if (state_ != State::Connected)
        return;
    state_ = State::Closed;
    arm();
    post(FD_CLOSE, error);
}

void AsyncSocket::onReadable() {
    if (state_ == State::Listening) {
        readArmed_ = false;
        arm();
        post(FD_ACCEPT, 0);
        return;
    }
    if (state_ != State::Connected)
        return arm();
    // Data or the end of it: the recv that FD_READ leads to tells which, and posts FD_CLOSE
    // behind the data that preceded it.
    readArmed_ = false;
    arm();
    post(FD_READ, 0);
}

void AsyncSocket::onWritable() {
    if (state_ == State::Connecting) {
        int err = 0;
        socklen_t len = sizeof err;
        if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
            err = errno;
        if (err == 0) {
            state_ = State::Connected;
            arm();
            post(FD_CONNECT, 0);
            post(FD_WRITE, 0);
        } else {
            state_ = State::Closed;
            arm();
            post(FD_CONNECT, winsockErrorFromErrno(err));
        }
        return;
    }
    wantWrite_ = false;
    arm();
    if (state_ == State::Connected)
        post(FD_WRITE, 0);
}

bool AsyncSocket::setLinger(bool on, int seconds) {
    linger l{on ? 1 : 0, seconds};
    if (::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l) != 0)
        return fail(errno), false;
    return true;
}

int AsyncSocket::connect(const SocketAddress& address) {
    if (::connect(fd_, address.get(), address.size()) == 0) {
        // Winsock still reports a connect that completed at once.
        state_ = State::Connected;
        arm();
        post(FD_CONNECT, 0);
        post(FD_WRITE, 0);
        lastError_ = 0;
        return 0;
    }
    int err = errno;
    if (err == EINPROGRESS) {
        state_ = State::Connecting;
        arm();
    }
    // EAGAIN from connect means no local port is free; it must not pass for "under way".
    return fail(err == EAGAIN ? EADDRNOTAVAIL : err);
}

ssize_t AsyncSocket::send(const char* data, std::size_t length) {
    ssize_t n = ::send(fd_, data, length, MSG_NOSIGNAL);
    if (n >= 0)
        return n;
    int err = errno;
    if (err == EAGAIN || err == EINTR) {
        wantWrite_ = true;
        arm();
    } else {
        postClose(winsockErrorFromErrno(err));
    }
    return fail(err);
}

ssize_t AsyncSocket::recv(char* buffer, std::size_t length) {
    ssize_t n = ::recv(fd_, buffer, length, 0);
    int err = errno;
    readArmed_ = true;
    if (n == 0 && length > 0)
        postClose(0);
    arm();
    if (n >= 0)
        return n;
    if (err != EAGAIN && err != EINTR)
        postClose(winsockErrorFromErrno(err));
    return fail(err);
}

bool AsyncSocket::shutdownWrite() {
    if (::shutdown(fd_, SHUT_WR) != 0)
        return fail(errno), false;
    return true;
}

int AsyncSocket::bind(const SocketAddress& address) {
    if (::bind(fd_, address.get(), address.size()) != 0)
        return fail(errno);
    return 0;
}

int AsyncSocket::listen(int backlog) {
    if (::listen(fd_, backlog) != 0)
        return fail(errno);
    state_ = State::Listening;
    readArmed_ = true;
    arm();
    return 0;
}

int AsyncSocket::accept(SocketAddress* peer) {
    sockaddr_storage address{};
    socklen_t len = sizeof address;
    int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&address), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    int err = errno;
    readArmed_ = true;
    arm();
    if (fd < 0)
        return fail(err);
    if (peer)
        *peer = SocketAddress::fromSystem(address);
    return fd;
}

bool AsyncSocket::localAddress(SocketAddress* address) {
    sockaddr_storage local{};
    socklen_t len = sizeof local;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &len) != 0)
        return fail(errno), false;
    *address = SocketAddress::fromSystem(local);
    return true;
}

// ---- name lookup ----

namespace {

std::mutex resolverMutex;
Resolver& installedResolver() {
    static Resolver r;
    return r;
}

// Every address, in the order the system prefers them (RFC 6724), so that a connect can go on
// to the next when one cannot be reached (an IPv6 address on a network without IPv6).
int systemResolve(const std::string& name, std::vector<SocketAddress>* addresses) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* result = nullptr;
    int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &result);
    if (rc != 0)
        return rc;
    for (const addrinfo* ai = result; ai; ai = ai->ai_next) {
        sockaddr_storage s{};
        if (ai->ai_addrlen > sizeof s)
            continue;
        std::memcpy(&s, ai->ai_addr, ai->ai_addrlen);
        const SocketAddress address = SocketAddress::fromSystem(s);
        if (!address.empty())
            addresses->push_back(address);
    }
    ::freeaddrinfo(result);
    return addresses->empty() ? EAI_NONAME : 0;
}

} // namespace

void setResolver(Resolver resolver) {
    std::lock_guard lock(resolverMutex);
    installedResolver() = std::move(resolver);
}

// Shared between the component and its worker threads, which may outlive it.
class LookupRelay {
public:
    std::mutex mutex;
    MessageWindow* window = nullptr;
    std::uintptr_t current = 0; // the one lookup whose reply is still wanted
    std::uintptr_t finished = 0;
    std::vector<SocketAddress> addresses;
};

HostLookup::HostLookup(MessageWindow* window) : relay_(std::make_shared<LookupRelay>()) {
    relay_->window = window;
}

HostLookup::~HostLookup() {
    std::lock_guard lock(relay_->mutex);
    relay_->window = nullptr;
    relay_->current = 0;
}

std::uintptr_t HostLookup::start(const std::string& name, unsigned msg) {
    std::uintptr_t tag = newNotificationTag();
    Resolver resolve;
    {
        std::lock_guard lock(resolverMutex);
        resolve = installedResolver() ? installedResolver() : Resolver(systemResolve);
    }
    {
        std::lock_guard lock(relay_->mutex);
        relay_->current = tag;
        relay_->finished = 0;
    }
    std::thread([relay = relay_, name, tag, msg, resolve = std::move(resolve)] {
        std::vector<SocketAddress> addresses;
        int rc = resolve(name, &addresses);
        if (rc == 0 && addresses.empty())
            rc = EAI_NONAME;
        std::lock_guard lock(relay->mutex);
        if (relay->current != tag || !relay->window)
            return; // abandoned: nobody waits for this reply any more
        relay->finished = tag;
        relay->addresses = std::move(addresses);
        relay->window->post(msg, tag, selectLParam(0, rc ? winsockErrorFromLookup(rc) : 0));
    }).detach();
    return tag;
}

void HostLookup::cancel() {
    std::lock_guard lock(relay_->mutex);
    relay_->current = 0;
}

bool HostLookup::takeResult(std::uintptr_t tag, std::vector<SocketAddress>* addresses) {
    std::lock_guard lock(relay_->mutex);
    if (tag == 0 || relay_->current != tag || relay_->finished != tag)
        return false;
    *addresses = std::move(relay_->addresses);
    relay_->current = 0;
    return true;
}

} // namespace quillet::platform
