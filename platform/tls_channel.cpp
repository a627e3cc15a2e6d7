#include "platform/tls_channel.h"

#include "platform/async_socket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <ctime>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <stdexcept>
#include <sys/socket.h>

namespace quillet::platform {

class TlsSession {
public:
    explicit TlsSession(SSL_SESSION* session) : session_(session) {}
    ~TlsSession() { SSL_SESSION_free(session_); }
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;
    SSL_SESSION* get() const { return session_; }

private:
    SSL_SESSION* session_;
};

struct TlsChannel::Impl {
    enum class State { Handshaking, AwaitingTrust, Open, Ended, Failed };

    std::shared_ptr<TlsContext> context;
    std::unique_ptr<TlsTransport> transport;
    TlsPeer peer;
    SSL* ssl = nullptr;
    State state = State::Handshaking;
    TlsFailure failure = TlsFailure::None;
    std::string detail;
    CertificateInfo certificate;
    std::vector<int> verifyErrors; // X509_V_ERR_* met while checking the chain
    std::shared_ptr<const TlsSession> session;
    bool transportEnded = false;  // the transport read the end of the stream
    bool transportFailed = false; // ... or failed
    bool peerClosed = false;      // close_notify arrived

    TlsResult fail(TlsFailure why, std::string text = {}) {
        state = State::Failed;
        failure = why;
        detail = std::move(text);
        return {TlsStatus::Failed, 0};
    }
    TlsResult afterError(int rc, std::size_t bytes);
    // What read, write and shutdown give on a channel that is not open.
    TlsResult notOpen() const {
        if (state == State::Ended)
            return {peerClosed ? TlsStatus::Closed : TlsStatus::Truncated, 0};
        return {TlsStatus::Failed, 0};
    }
    TlsResult judgeCertificate();
};

namespace {

// ---- the transport as an OpenSSL BIO ----

TlsChannel::Impl* channelOf(BIO* bio) { return static_cast<TlsChannel::Impl*>(BIO_get_data(bio)); }

int bioRead(BIO* bio, char* buffer, int length) {
    BIO_clear_retry_flags(bio);
    TlsChannel::Impl* channel = channelOf(bio);
    const ssize_t n = channel->transport->recv(buffer, static_cast<std::size_t>(length));
    if (n > 0)
        return static_cast<int>(n);
    if (n == 0) {
        channel->transportEnded = true;
        return 0;
    }
    if (n == TlsTransport::WouldBlock)
        BIO_set_retry_read(bio);
    else
        channel->transportFailed = true;
    return -1;
}

int bioWrite(BIO* bio, const char* data, int length) {
    BIO_clear_retry_flags(bio);
    TlsChannel::Impl* channel = channelOf(bio);
    const ssize_t n = channel->transport->send(data, static_cast<std::size_t>(length));
    if (n >= 0)
        return static_cast<int>(n);
    if (n == TlsTransport::WouldBlock)
        BIO_set_retry_write(bio);
    else
        channel->transportFailed = true;
    return -1;
}

long bioCtrl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

int bioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

BIO_METHOD* transportMethod() {
    static BIO_METHOD* const method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "quillet transport");
        if (!m || !BIO_meth_set_read(m, bioRead) || !BIO_meth_set_write(m, bioWrite) ||
            !BIO_meth_set_ctrl(m, bioCtrl) || !BIO_meth_set_create(m, bioCreate))
            throw std::runtime_error("TLS: no transport method");
        return m;
    }();
    return method;
}

// ---- the channel behind an SSL ----

int channelIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

TlsChannel::Impl* channelOf(SSL* ssl) {
    return static_cast<TlsChannel::Impl*>(SSL_get_ex_data(ssl, channelIndex()));
}

// Every problem is noted and the handshake goes on, so that the author can be shown the
// certificate; nothing is sent before the channel has judged it.
int verifyCallback(int ok, X509_STORE_CTX* store) {
    if (!ok) {
        auto* ssl =
            static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
        if (TlsChannel::Impl* channel = ssl ? channelOf(ssl) : nullptr)
            channel->verifyErrors.push_back(X509_STORE_CTX_get_error(store));
    }
    return 1;
}

// TLS 1.3 hands sessions over after the handshake, one or more per connection: the newest wins.
int onNewSession(SSL* ssl, SSL_SESSION* session) {
    TlsChannel::Impl* channel = channelOf(ssl);
    if (!channel || !SSL_SESSION_is_resumable(session))
        return 0;
    channel->session = std::make_shared<TlsSession>(session);
    return 1; // the reference is ours now
}

// ---- certificate facts ----

std::string colonHex(const unsigned char* bytes, std::size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0)
            text += ':';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

std::string nameText(const X509_NAME* name) {
    BIO* memory = BIO_new(BIO_s_mem());
    if (!memory)
        return {};
    // UTF-8 as it is, not escaped byte by byte.
    X509_NAME_print_ex(memory, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long length = BIO_get_mem_data(memory, &data);
    std::string text(data, static_cast<std::size_t>(length > 0 ? length : 0));
    BIO_free(memory);
    return text;
}

std::string timeText(const ASN1_TIME* time) {
    std::tm tm{};
    if (!time || !ASN1_TIME_to_tm(time, &tm))
        return {};
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S UTC", &tm);
    return buffer;
}

CertificateInfo factsOf(X509* certificate) {
    CertificateInfo info;
    info.subject = nameText(X509_get_subject_name(certificate));
    info.issuer = nameText(X509_get_issuer_name(certificate));
    info.notBefore = timeText(X509_get0_notBefore(certificate));
    info.notAfter = timeText(X509_get0_notAfter(certificate));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &length))
        info.sha256 = colonHex(digest, length);
    return info;
}

CertificateProblem problemOf(int verifyError) {
    switch (verifyError) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        return CertificateProblem::SelfSigned;
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return CertificateProblem::Expired;
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return CertificateProblem::NotYetValid;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return CertificateProblem::OtherName;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        return CertificateProblem::UnknownIssuer;
    default:
        return CertificateProblem::Invalid;
    }
}

bool isAddress(const std::string& host) {
    unsigned char address[16];
    return ::inet_pton(AF_INET, host.c_str(), address) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), address) == 1;
}

// Replies that are not TLS records: a plain FTP server answering the ClientHello, for one.
bool notTlsReason(int reason) {
    switch (reason) {
    case SSL_R_WRONG_VERSION_NUMBER:
    case SSL_R_PACKET_LENGTH_TOO_LONG:
    case SSL_R_UNKNOWN_PROTOCOL:
    case SSL_R_HTTP_REQUEST:
    case SSL_R_UNEXPECTED_RECORD:
        return true;
    default:
        return false;
    }
}

} // namespace

std::string normalizedFingerprint(std::string_view text) {
    unsigned char bytes[32];
    std::size_t count = 0;
    int high = -1;
    for (char c : text) {
        int value;
        if (c >= '0' && c <= '9')
            value = c - '0';
        else if (c >= 'a' && c <= 'f')
            value = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            value = c - 'A' + 10;
        else if ((c == ':' || c == ' ') && high < 0)
            continue;
        else
            return {};
        if (high < 0) {
            high = value;
        } else {
            if (count == sizeof bytes)
                return {};
            bytes[count++] = static_cast<unsigned char>(high << 4 | value);
            high = -1;
        }
    }
    if (count != sizeof bytes || high >= 0)
        return {};
    return colonHex(bytes, count);
}

// ---- transports ----

ssize_t FdTransport::recv(char* buffer, std::size_t length) {
    const ssize_t n = ::recv(fd_, buffer, length, 0);
    if (n >= 0)
        return n;
    errno_ = errno;
    return errno_ == EAGAIN || errno_ == EWOULDBLOCK || errno_ == EINTR ? WouldBlock : Failed;
}

ssize_t FdTransport::send(const char* data, std::size_t length) {
    const ssize_t n = ::send(fd_, data, length, MSG_NOSIGNAL);
    if (n >= 0)
        return n;
    errno_ = errno;
    return errno_ == EAGAIN || errno_ == EWOULDBLOCK || errno_ == EINTR ? WouldBlock : Failed;
}

namespace {
// The socket re-arms its notification for an interrupted call as for one that would block.
ssize_t fromAsyncSocket(ssize_t n, const AsyncSocket& socket) {
    if (n >= 0)
        return n;
    const int error = socket.lastError();
    return error == WSAEWOULDBLOCK || error == WSAEINTR ? TlsTransport::WouldBlock : TlsTransport::Failed;
}
} // namespace

ssize_t AsyncSocketTransport::recv(char* buffer, std::size_t length) {
    return fromAsyncSocket(socket_.recv(buffer, length), socket_);
}

ssize_t AsyncSocketTransport::send(const char* data, std::size_t length) {
    return fromAsyncSocket(socket_.send(data, length), socket_);
}

// ---- context ----

std::shared_ptr<TlsContext> TlsContext::create(const std::string& caFile) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx)
        throw std::runtime_error("TLS: no context");
    std::shared_ptr<TlsContext> context(new TlsContext(ctx));
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION);
    // A write may end after a record, and its retry may come from another buffer (a queue that
    // was compacted meanwhile).
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_clear_mode(ctx, SSL_MODE_AUTO_RETRY);
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(ctx, onNewSession);
    const int loaded = caFile.empty() ? SSL_CTX_set_default_verify_paths(ctx)
                                      : SSL_CTX_load_verify_locations(ctx, caFile.c_str(), nullptr);
    if (loaded != 1) {
        ERR_clear_error();
        throw std::runtime_error("TLS: cannot load the trusted certificates");
    }
    return context;
}

TlsContext::~TlsContext() { SSL_CTX_free(ctx_); }

// ---- channel ----

TlsChannel::TlsChannel(std::shared_ptr<TlsContext> context, std::unique_ptr<TlsTransport> transport,
                       TlsPeer peer)
    : impl_(std::make_unique<Impl>()) {
    Impl& d = *impl_;
    d.context = std::move(context);
    d.transport = std::move(transport);
    d.peer = std::move(peer);
    d.ssl = SSL_new(d.context->handle());
    BIO* bio = d.ssl ? BIO_new(transportMethod()) : nullptr;
    if (!bio) {
        SSL_free(d.ssl);
        throw std::runtime_error("TLS: no connection object");
    }
    BIO_set_data(bio, &d);
    SSL_set_bio(d.ssl, bio, bio);
    SSL_set_ex_data(d.ssl, channelIndex(), &d);
    SSL_set_connect_state(d.ssl);
    SSL_set_verify(d.ssl, SSL_VERIFY_PEER, verifyCallback);

    std::string host = d.peer.host;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    X509_VERIFY_PARAM* param = SSL_get0_param(d.ssl);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (isAddress(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
    } else if (!host.empty()) {
        if (host.back() == '.')
            host.pop_back(); // an absolute name: the certificate and SNI hold it without the dot
        SSL_set_tlsext_host_name(d.ssl, host.c_str());
        X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size());
    }
    if (d.peer.resume) {
        // A copy: OpenSSL marks a session it resumed as spent when that connection ends without
        // close_notify, as data connections often do, and the next one could no longer resume.
        if (SSL_SESSION* copy = SSL_SESSION_dup(d.peer.resume->get())) {
            SSL_set_session(d.ssl, copy);
            SSL_SESSION_free(copy);
        }
    }
}

TlsChannel::~TlsChannel() {
    SSL_set_ex_data(impl_->ssl, channelIndex(), nullptr);
    SSL_free(impl_->ssl);
}

TlsResult TlsChannel::Impl::afterError(int rc, std::size_t bytes) {
    const bool handshaking = state == State::Handshaking;
    switch (SSL_get_error(ssl, rc)) {
    case SSL_ERROR_WANT_READ:
        return {TlsStatus::WantRead, bytes};
    case SSL_ERROR_WANT_WRITE:
        return {TlsStatus::WantWrite, bytes};
    case SSL_ERROR_ZERO_RETURN:
        if (handshaking)
            return fail(TlsFailure::Ended);
        state = State::Ended;
        peerClosed = true;
        return {TlsStatus::Closed, bytes};
    default:
        break;
    }
    const unsigned long error = ERR_peek_error();
    const char* reason = ERR_reason_error_string(error);
    ERR_clear_error();
    TlsResult result;
    if (transportFailed)
        result = fail(TlsFailure::Connection);
    else if (transportEnded && handshaking)
        result = fail(TlsFailure::Ended);
    else if (transportEnded) {
        state = State::Ended;
        return {TlsStatus::Truncated, bytes};
    } else if (handshaking && notTlsReason(ERR_GET_REASON(error)))
        result = fail(TlsFailure::NotTls, reason ? reason : "");
    else
        result = fail(TlsFailure::Protocol, reason ? reason : "");
    result.bytes = bytes;
    return result;
}

TlsResult TlsChannel::Impl::judgeCertificate() {
    X509* peerCertificate = SSL_get0_peer_certificate(ssl);
    if (!peerCertificate)
        return fail(TlsFailure::Protocol, "no certificate");
    certificate = factsOf(peerCertificate);
    const bool resumed = SSL_session_reused(ssl) == 1;
    // A resumed session sends no certificate to check: it is the accepted one of the session.
    if (!resumed) {
        std::vector<CertificateProblem>& problems = certificate.problems;
        for (int error : verifyErrors)
            problems.push_back(problemOf(error));
        if (peer.host.empty())
            problems.push_back(CertificateProblem::OtherName);
        if (problems.empty() && SSL_get_verify_result(ssl) != X509_V_OK)
            problems.push_back(CertificateProblem::Invalid);
        std::sort(problems.begin(), problems.end());
        problems.erase(std::unique(problems.begin(), problems.end()), problems.end());
    }
    if (!peer.pinnedSha256.empty()) {
        // A pin that is not a fingerprint matches nothing: a damaged setting never lets
        // another certificate through.
        if (normalizedFingerprint(peer.pinnedSha256) != certificate.sha256)
            return fail(TlsFailure::PinMismatch);
    } else if (!resumed && !certificate.problems.empty()) {
        state = State::AwaitingTrust;
        failure = TlsFailure::Untrusted;
        return {TlsStatus::Failed, 0};
    }
    state = State::Open;
    return {TlsStatus::Ok, 0};
}

TlsResult TlsChannel::handshake() {
    Impl& d = *impl_;
    switch (d.state) {
    case Impl::State::Handshaking:
        break;
    case Impl::State::Open:
        return {TlsStatus::Ok, 0};
    case Impl::State::Ended:
    case Impl::State::AwaitingTrust:
    case Impl::State::Failed:
        return d.notOpen();
    }
    ERR_clear_error();
    const int rc = SSL_connect(d.ssl);
    if (rc != 1)
        return d.afterError(rc, 0);
    return d.judgeCertificate();
}

TlsResult TlsChannel::read(char* buffer, std::size_t length) {
    Impl& d = *impl_;
    if (d.state != Impl::State::Open)
        return d.notOpen();
    std::size_t total = 0;
    while (total < length) {
        std::size_t got = 0;
        ERR_clear_error();
        const int rc = SSL_read_ex(d.ssl, buffer + total, length - total, &got);
        if (rc != 1)
            return d.afterError(rc, total);
        total += got;
    }
    return {TlsStatus::Ok, total};
}

TlsResult TlsChannel::write(const char* data, std::size_t length) {
    Impl& d = *impl_;
    if (d.state != Impl::State::Open)
        return d.notOpen();
    std::size_t total = 0;
    while (total < length) {
        std::size_t put = 0;
        ERR_clear_error();
        const int rc = SSL_write_ex(d.ssl, data + total, length - total, &put);
        if (rc != 1)
            return d.afterError(rc, total);
        total += put;
    }
    return {TlsStatus::Ok, total};
}

TlsResult TlsChannel::shutdown() {
    Impl& d = *impl_;
    // After a fatal error OpenSSL must not be asked to close; a refused certificate may be.
    if (d.state == Impl::State::Failed || d.state == Impl::State::Handshaking ||
        (d.state == Impl::State::Ended && !d.peerClosed))
        return d.notOpen();
    ERR_clear_error();
    const int rc = SSL_shutdown(d.ssl);
    if (rc >= 0)
        return {TlsStatus::Ok, 0};
    return d.afterError(rc, 0);
}

void TlsChannel::acceptCertificate() {
    if (impl_->state == Impl::State::AwaitingTrust) {
        impl_->state = Impl::State::Open;
        impl_->failure = TlsFailure::None;
    }
}

TlsFailure TlsChannel::failure() const { return impl_->failure; }
const std::string& TlsChannel::detail() const { return impl_->detail; }
const CertificateInfo& TlsChannel::certificate() const { return impl_->certificate; }
bool TlsChannel::resumed() const { return SSL_session_reused(impl_->ssl) == 1; }
std::string TlsChannel::protocolVersion() const { return SSL_get_version(impl_->ssl); }

std::shared_ptr<const TlsSession> TlsChannel::session() const {
    const Impl::State state = impl_->state;
    if (state != Impl::State::Open && state != Impl::State::Ended)
        return nullptr;
    return impl_->session;
}

} // namespace quillet::platform
