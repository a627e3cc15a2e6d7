#pragma once
// A TLS test server on 127.0.0.1 with OpenSSL and the test certificates: each accepted
// connection is secured and handed to a script on a thread of its own, with blocking calls.

#include "peer.h"
#include "test_certificates.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <atomic>
#include <csignal>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace quillet::testing {

// One accepted TLS connection of the test server, blocking.
struct ServerSide {
    SSL* ssl;
    int fd;
    void send(std::string_view bytes) {
        while (!bytes.empty()) {
            const int n = SSL_write(ssl, bytes.data(), static_cast<int>(bytes.size()));
            if (n <= 0)
                return;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    std::string receive(std::size_t count) {
        std::string in;
        char buffer[65536];
        while (in.size() < count) {
            const int n = SSL_read(ssl, buffer, static_cast<int>(std::min(sizeof buffer, count - in.size())));
            if (n <= 0)
                break;
            in.append(buffer, static_cast<std::size_t>(n));
        }
        return in;
    }
    // Our close_notify, then whether the client answered with its own.
    bool closeNotifyAndHearBack() {
        SSL_shutdown(ssl);
        char c;
        return SSL_read(ssl, &c, 1) <= 0 && SSL_get_error(ssl, 0) == SSL_ERROR_ZERO_RETURN;
    }
};

class TlsServer {
public:
    using Script = std::function<void(ServerSide&)>;

    // maxVersion 0: whatever both sides can; receiveBuffer 0: the system's.
    TlsServer(const std::string& name, Script script, int maxVersion = 0, int receiveBuffer = 0)
        : script_(std::move(script)) {
        std::signal(SIGPIPE,
                    SIG_IGN); // OpenSSL writes to its descriptor: a client gone must not end the test
        const Certificates& certs = Certificates::get();
        ctx_ = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate_chain_file(ctx_, certs.pem(name).c_str());
        SSL_CTX_use_PrivateKey_file(ctx_, certs.key(name).c_str(), SSL_FILETYPE_PEM);
        SSL_CTX_set_session_id_context(ctx_, reinterpret_cast<const unsigned char*>("test"), 4);
        if (maxVersion) {
            SSL_CTX_set_security_level(ctx_, 0);
            SSL_CTX_set_min_proto_version(ctx_, TLS1_VERSION);
            SSL_CTX_set_max_proto_version(ctx_, maxVersion);
        }
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receiveBuffer)
            ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in a = loopback(0);
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener_, 8) != 0)
            throw std::runtime_error("test server cannot listen");
        port_ = localPort(listener_);
        acceptor_ = std::thread([this] { acceptLoop(); });
    }
    ~TlsServer() {
        stop();
        ::close(listener_);
        SSL_CTX_free(ctx_);
    }
    std::uint16_t port() const { return port_; }
    // The counts below are final once the server has stopped: a client can be done with a
    // connection before the server's side of it has finished, so they stop the server first.
    // Handshakes that resumed a session, as the server saw them.
    int resumed() {
        stop();
        return resumed_;
    }
    // Scripts that ran to their end after a complete handshake.
    int served() {
        stop();
        return served_;
    }

private:
    void stop() {
        if (!acceptor_.joinable())
            return;
        ::shutdown(listener_, SHUT_RDWR); // ends the accept
        acceptor_.join();
        for (std::thread& t : connections_)
            t.join();
    }

    void acceptLoop() {
        for (;;) {
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                return;
            connections_.emplace_back([this, fd] {
                SSL* ssl = SSL_new(ctx_);
                SSL_set_fd(ssl, fd);
                if (SSL_accept(ssl) == 1) {
                    if (SSL_session_reused(ssl))
                        ++resumed_;
                    ServerSide side{ssl, fd};
                    script_(side);
                    ++served_;
                }
                SSL_free(ssl);
                ::close(fd);
                ERR_clear_error();
            });
        }
    }

    Script script_;
    SSL_CTX* ctx_ = nullptr;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::thread acceptor_;
    std::vector<std::thread> connections_;
    std::atomic<int> resumed_{0};
    std::atomic<int> served_{0};
};

} // namespace quillet::testing
