#pragma once
// TLS on the program's own non-blocking sockets, through OpenSSL: a client channel on a
// connected socket that never blocks. Every call returns what it moved and what it waits for;
// the socket's readable and writable notifications tell the caller when to call again.
//
// Driving a channel (the asynchronous socket's notifications are one-shot, and a channel over
// AsyncSocketTransport re-arms them exactly as a plain recv or send does):
//   handshake(): call after the connection is up, then again on each FD_READ (after WantRead)
//                or FD_WRITE (after WantWrite) until it gives Ok or Failed.
//   read():      on FD_READ. It fills the buffer from as many records as are there. A full
//                buffer may have left more inside the channel, where no notification will
//                announce it: call again at once. Fewer bytes mean the status says what to wait
//                for, or that the stream ended (Closed: the peer's close_notify; Truncated: the
//                connection ended without one, so the data may be cut short).
//   write():     whenever there is data, and again on FD_WRITE after WantWrite. Bytes not
//                accepted must be offered again, first, on the next call.
//   shutdown():  sends close_notify; again on FD_WRITE after WantWrite.
// A read may need to write (and the other way round): WantWrite from read() means "call read()
// again on FD_WRITE".

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

struct ssl_ctx_st; // OpenSSL's SSL_CTX

namespace quillet::platform {

class AsyncSocket;

// Why a certificate is not trusted, in the order they are shown.
enum class CertificateProblem {
    SelfSigned,    // signed by itself, by nobody the trust store knows
    Expired,       // a certificate of the chain is past its end of validity
    NotYetValid,   // ... or before its start
    OtherName,     // made out for another host name (or address)
    UnknownIssuer, // its issuer is not in the trust store
    Invalid,       // anything else that failed the check (a bad signature, a wrong purpose ...)
};

// What the author needs to judge a server's certificate.
struct CertificateInfo {
    std::string subject; // distinguished names, one line each (RFC 2253), UTF-8
    std::string issuer;
    std::string notBefore; // "YYYY-MM-DD hh:mm:ss UTC"
    std::string notAfter;
    std::string sha256;                       // fingerprint of the whole certificate: "AB:CD:..." (32 bytes)
    std::vector<CertificateProblem> problems; // empty when the trust store and the name vouch for it
    bool operator==(const CertificateInfo&) const = default;
};

// A fingerprint in the form CertificateInfo::sha256 uses; empty unless text holds exactly 32
// bytes in hexadecimal (either case, with or without colons or blanks between them).
std::string normalizedFingerprint(std::string_view text);

// Where a channel's bytes go: a connected non-blocking stream socket.
class TlsTransport {
public:
    static constexpr ssize_t WouldBlock = -1;
    static constexpr ssize_t Failed = -2;
    virtual ~TlsTransport() = default;
    // Bytes moved (recv: 0 when the peer ended the stream), WouldBlock, or Failed.
    virtual ssize_t recv(char* buffer, std::size_t length) = 0;
    virtual ssize_t send(const char* data, std::size_t length) = 0;
};

// A socket descriptor as it is; the caller keeps it open for the channel's lifetime.
class FdTransport : public TlsTransport {
public:
    explicit FdTransport(int fd) : fd_(fd) {}
    ssize_t recv(char* buffer, std::size_t length) override;
    ssize_t send(const char* data, std::size_t length) override;
    int lastErrno() const { return errno_; }

private:
    int fd_;
    int errno_ = 0;
};

// The asynchronous socket: its recv and send keep the one-shot FD_READ and FD_WRITE
// notifications (and FD_CLOSE at the end of the stream) coming as for plain data. The socket's
// own lastError() tells why a call failed.
class AsyncSocketTransport : public TlsTransport {
public:
    explicit AsyncSocketTransport(AsyncSocket& socket) : socket_(socket) {}
    ssize_t recv(char* buffer, std::size_t length) override;
    ssize_t send(const char* data, std::size_t length) override;

private:
    AsyncSocket& socket_;
};

// The client settings shared by a control connection and its data connections: TLS 1.2 or
// newer, the system's trust store (or the certificates of caFile instead, for tests).
class TlsContext {
public:
    // Throws std::runtime_error when OpenSSL cannot set it up (caFile unreadable, for one).
    static std::shared_ptr<TlsContext> create(const std::string& caFile = {});
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    ssl_ctx_st* handle() const { return ctx_; }

private:
    explicit TlsContext(ssl_ctx_st* ctx) : ctx_(ctx) {}
    ssl_ctx_st* ctx_;
};

// A session a later connection can resume: taken from the control connection for each data
// connection, as many servers refuse a data connection that does not resume it.
class TlsSession;

struct TlsPeer {
    // The name (or address) the socket was connected to: sent as SNI when it is a name, and
    // the certificate must be made out for it.
    std::string host;
    // A certificate the author chose to trust for this site: SHA-256 fingerprint. When set, it
    // alone decides: exactly that certificate is accepted, any other is refused, even one the
    // trust store vouches for.
    std::string pinnedSha256;
    // Resume this session (from the control connection's session()).
    std::shared_ptr<const TlsSession> resume;
};

enum class TlsStatus {
    Ok,        // done; for read() and write(): more may follow
    WantRead,  // call again when the socket is readable
    WantWrite, // call again when the socket is writable
    Closed,    // the peer ended the stream cleanly (close_notify)
    Truncated, // the connection ended without close_notify
    Failed,    // failure() says why; the channel is of no further use (but see acceptCertificate)
};

enum class TlsFailure {
    None,
    NotTls,      // the peer answered with something that is not TLS
    Protocol,    // the handshake or a record failed (an alert, no common version ...): detail()
    Ended,       // the connection ended before the handshake was complete
    Connection,  // the socket failed
    Untrusted,   // the certificate is not trusted: certificate().problems
    PinMismatch, // the certificate is not the one pinned for this site
};

struct TlsResult {
    TlsStatus status = TlsStatus::Ok;
    std::size_t bytes = 0; // read or accepted; they count whatever the status
};

class TlsChannel {
public:
    // A client on a connected socket; nothing is sent before handshake().
    TlsChannel(std::shared_ptr<TlsContext> context, std::unique_ptr<TlsTransport> transport, TlsPeer peer);
    ~TlsChannel();
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    // Ok once the connection is secured and its certificate accepted (trusted, or the pinned
    // one, or a resumed session of an accepted one). Nothing may be sent before.
    TlsResult handshake();
    TlsResult read(char* buffer, std::size_t length);
    TlsResult write(const char* data, std::size_t length);
    // Our close_notify: Ok once it is sent. The peer's comes as Closed from read().
    TlsResult shutdown();

    // After Failed with Untrusted: the author trusts this certificate for this connection, which
    // then goes on as if the handshake had given Ok. A pin mismatch can never be overridden.
    void acceptCertificate();

    TlsFailure failure() const;
    // OpenSSL's reason for a Protocol failure ("tlsv1 alert protocol version" ...).
    const std::string& detail() const;
    // The server's certificate, once the handshake got that far.
    const CertificateInfo& certificate() const;
    // The handshake resumed an earlier session.
    bool resumed() const;
    std::string protocolVersion() const; // "TLSv1.3" ...
    // The newest session the server gave on this connection, for data connections to resume;
    // nothing before the certificate was accepted. TLS 1.3 hands sessions over only after the
    // handshake, so they arrive with the first read() that follows it.
    std::shared_ptr<const TlsSession> session() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace quillet::platform
