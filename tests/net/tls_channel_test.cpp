// The TLS channel against an OpenSSL server on 127.0.0.1 with certificates the test makes with
// the openssl command: trust, certificate problems and pins, session resumption for data
// connections, clean and truncated ends, peers that speak no TLS, and a channel driven by the
// asynchronous socket's notifications.

#include "peer.h"
#include "platform/async_socket.h"
#include "platform/message_pump.h"
#include "platform/tls_channel.h"
#include "test_certificates.h"
#include "tls_server.h"

#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <mutex>
#include <poll.h>
#include <thread>
#include <vector>

using namespace quillet::platform;
using namespace quillet::testing;

namespace {

// A plain peer: answers what comes first with a line (an FTP server's error, say), or with nothing,
// and closes.
class PlainServer {
public:
    explicit PlainServer(std::string reply) : listener_(listenOn(0)) {
        thread_ = std::thread([this, reply = std::move(reply)] {
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                return;
            char buffer[4096];
            if (::recv(fd, buffer, sizeof buffer, 0) > 0)
                sendAll(fd, reply);
            ::close(fd);
        });
    }
    ~PlainServer() {
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    std::uint16_t port() const { return localPort(listener_); }

private:
    int listener_;
    std::thread thread_;
};

const std::string kGreeting = "220 Quillet test server\r\n";

void greetAndClose(ServerSide& s) {
    s.send(kGreeting);
    s.closeNotifyAndHearBack();
}

// ---- a client driven by poll() ----

class PolledClient {
public:
    PolledClient(std::uint16_t port, std::shared_ptr<TlsContext> context, TlsPeer peer) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = loopback(port);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            throw std::runtime_error("cannot connect to the test server");
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
        channel = std::make_unique<TlsChannel>(std::move(context), std::make_unique<FdTransport>(fd_),
                                               std::move(peer));
    }
    ~PolledClient() {
        channel.reset();
        ::close(fd_);
    }

    // Repeats step while it waits for the socket, collecting what it read.
    TlsResult drive(const std::function<TlsResult()>& step, std::string* received = nullptr,
                    std::function<bool()> enough = {}) {
        for (;;) {
            TlsResult r = step();
            if (received && r.bytes)
                received->append(buffer_, r.bytes);
            if (enough && enough())
                return r;
            if (r.status == TlsStatus::Ok && received)
                continue; // a full buffer: more may be inside the channel
            if (r.status != TlsStatus::WantRead && r.status != TlsStatus::WantWrite)
                return r;
            pollfd p{fd_, static_cast<short>(r.status == TlsStatus::WantRead ? POLLIN : POLLOUT), 0};
            if (::poll(&p, 1, 30000) != 1) {
                ADD_FAILURE() << "the channel waits for a socket that never becomes ready";
                return {TlsStatus::Failed, 0};
            }
        }
    }
    TlsStatus handshake() {
        return drive([this] { return channel->handshake(); }).status;
    }
    // Everything up to the stream's end; the way it ended.
    TlsStatus readToEnd(std::string& received) {
        return drive([this] { return channel->read(buffer_, sizeof buffer_); }, &received).status;
    }
    std::string readLine() {
        std::string line;
        drive([this] { return channel->read(buffer_, 1); }, &line,
              [&line] { return !line.empty() && line.back() == '\n'; });
        return line;
    }
    TlsStatus write(const std::string& bytes) {
        std::size_t sent = 0;
        return drive([&] {
                   TlsResult r = channel->write(bytes.data() + sent, bytes.size() - sent);
                   sent += r.bytes;
                   return r;
               })
            .status;
    }
    TlsStatus shutdown() {
        return drive([this] { return channel->shutdown(); }).status;
    }

    std::unique_ptr<TlsChannel> channel;

private:
    int fd_ = -1;
    char buffer_[16384];
};

class TlsChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Certificates::get().ok())
            GTEST_SKIP() << "the openssl command could not make the test certificates";
    }
    static std::shared_ptr<TlsContext> testCa() { return TlsContext::create(Certificates::get().ca()); }
};

} // namespace

TEST(TlsFingerprint, NormalisedFromAnyUsualSpelling) {
    const std::string canonical = "00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF:"
                                  "00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF";
    EXPECT_EQ(normalizedFingerprint(canonical), canonical);
    EXPECT_EQ(normalizedFingerprint("00112233445566778899aabbccddeeff00112233445566778899AaBbCcDdEeFf"),
              canonical);
    EXPECT_EQ(
        normalizedFingerprint("00 11 22 33 44 55 66 77 88 99 aa bb cc dd ee ff 00 11 22 33 44 55 66 77 88 99 "
                              "aa bb cc dd ee ff"),
        canonical);
    for (const char* odd :
         {"", "00", "0:011", "zz", "SHA256:00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff",
          "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff00",
          "00112233445566778899aabbccddeeff00112233445566778899aabbccddeef"})
        EXPECT_EQ(normalizedFingerprint(odd), "") << odd;
}

TEST_F(TlsChannelTest, TrustedChainGivesTheCertificateFactsAndTheData) {
    TlsServer server("good", greetAndClose);
    for (const char* host : {"localhost", "LocalHost.", "127.0.0.1"}) {
        PolledClient client(server.port(), testCa(), {host, {}, {}});
        ASSERT_EQ(client.handshake(), TlsStatus::Ok) << host << ": " << client.channel->detail();
        const CertificateInfo& c = client.channel->certificate();
        EXPECT_EQ(c.subject, "O=Quillet Test,CN=localhost");
        EXPECT_EQ(c.issuer, "O=Quillet Test,CN=Quillet Test CA");
        EXPECT_EQ(c.sha256, Certificates::get().fingerprint("good"));
        EXPECT_TRUE(c.problems.empty());
        EXPECT_EQ(client.readLine(), kGreeting);
        std::string rest;
        EXPECT_EQ(client.readToEnd(rest), TlsStatus::Closed);
        EXPECT_EQ(client.shutdown(), TlsStatus::Ok);
    }
    EXPECT_EQ(server.served(), 3);
}

TEST_F(TlsChannelTest, UntrustedCertificateSaysWhyAndNothingMovesUntilAccepted) {
    struct Case {
        const char* certificate;
        const char* host;
        bool testCa; // otherwise the system's trust store, which knows nothing of the test CA
        std::vector<CertificateProblem> problems;
    };
    using P = CertificateProblem;
    const std::vector<Case> cases = {
        {"self", "localhost", true, {P::SelfSigned}},
        {"expired", "localhost", true, {P::Expired}},
        {"future", "localhost", true, {P::NotYetValid}},
        {"wrongname", "localhost", true, {P::OtherName}},
        {"good", "127.0.0.2", true, {P::OtherName}},
        {"good", "localhost", false, {P::UnknownIssuer}},
        {"expired", "127.0.0.2", false, {P::Expired, P::OtherName, P::UnknownIssuer}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.certificate) + " for " + c.host);
        TlsServer server(c.certificate, greetAndClose);
        PolledClient client(server.port(), c.testCa ? testCa() : TlsContext::create(), {c.host, {}, {}});
        ASSERT_EQ(client.handshake(), TlsStatus::Failed);
        EXPECT_EQ(client.channel->failure(), TlsFailure::Untrusted);
        EXPECT_EQ(client.channel->certificate().problems, c.problems);
        EXPECT_EQ(client.channel->certificate().sha256, Certificates::get().fingerprint(c.certificate));
        char byte;
        EXPECT_EQ(client.channel->read(&byte, 1).status, TlsStatus::Failed);
        EXPECT_EQ(client.channel->write("x", 1).status, TlsStatus::Failed);
        EXPECT_EQ(client.channel->session(), nullptr);

        client.channel->acceptCertificate(); // the author said yes
        EXPECT_EQ(client.channel->failure(), TlsFailure::None);
        EXPECT_EQ(client.readLine(), kGreeting);
    }
}

TEST_F(TlsChannelTest, ExpiryDatesAreTheCertificatesOwn) {
    TlsServer server("expired", greetAndClose);
    PolledClient client(server.port(), testCa(), {"localhost", {}, {}});
    client.handshake();
    EXPECT_EQ(client.channel->certificate().notBefore, "2020-01-01 00:00:00 UTC");
    EXPECT_EQ(client.channel->certificate().notAfter, "2020-02-01 00:00:00 UTC");
}

// The platform's default paths are what an empty CA file means; OpenSSL lets SSL_CERT_FILE
// stand in for the system's store.
TEST_F(TlsChannelTest, WithoutACaFileTheSystemTrustStoreDecides) {
    TlsServer server("good", greetAndClose);
    ::setenv("SSL_CERT_FILE", Certificates::get().ca().c_str(), 1);
    auto context = TlsContext::create();
    ::unsetenv("SSL_CERT_FILE");
    PolledClient client(server.port(), context, {"localhost", {}, {}});
    EXPECT_EQ(client.handshake(), TlsStatus::Ok);

    EXPECT_THROW(TlsContext::create("/nonexistent/ca.pem"), std::runtime_error);
}

TEST_F(TlsChannelTest, APinAcceptsExactlyItsCertificate) {
    const Certificates& certs = Certificates::get();
    std::string lowerPlain = certs.fingerprint("self");
    std::erase(lowerPlain, ':');
    for (char& ch : lowerPlain)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    struct Case {
        const char* certificate;
        std::string pin;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {"self", certs.fingerprint("self"), true}, // untrusted, but pinned: no question
        {"self", lowerPlain, true},                // as a hand-edited file may hold it
        {"expired", certs.fingerprint("expired"), true},
        // Trusted by the store, but not the pinned one: the change is never taken silently.
        {"good", certs.fingerprint("other"), false},
        {"other", certs.fingerprint("self"), false},
        // A damaged pin lets nothing through.
        {"good", "not a fingerprint", false},
        {"good", certs.fingerprint("good").substr(3), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.certificate) + " pinned " + c.pin);
        TlsServer server(c.certificate, greetAndClose);
        PolledClient client(server.port(), testCa(), {"localhost", c.pin, {}});
        if (c.accepted) {
            ASSERT_EQ(client.handshake(), TlsStatus::Ok);
            EXPECT_EQ(client.readLine(), kGreeting);
            continue;
        }
        ASSERT_EQ(client.handshake(), TlsStatus::Failed);
        EXPECT_EQ(client.channel->failure(), TlsFailure::PinMismatch);
        EXPECT_EQ(client.channel->certificate().sha256, certs.fingerprint(c.certificate)); // for the warning
        client.channel->acceptCertificate();                                               // no way round it
        EXPECT_EQ(client.channel->failure(), TlsFailure::PinMismatch);
        char byte;
        EXPECT_EQ(client.channel->read(&byte, 1).status, TlsStatus::Failed);
    }
}

// FTP data connections resume the control connection's session, several of them in turn while
// the control connection stays open, though each ends without close_notify. TLS 1.3 hands the
// session over only after the handshake.
TEST_F(TlsChannelTest, DataConnectionsResumeTheControlConnectionsSession) {
    for (int version : {TLS1_3_VERSION, TLS1_2_VERSION}) {
        SCOPED_TRACE(version == TLS1_3_VERSION ? "TLS 1.3" : "TLS 1.2");
        TlsServer server(
            "good",
            [](ServerSide& s) {
                s.send(kGreeting);
                // The control connection: open until the test is through with its data connections.
                if (s.receive(5) == "QUIT\n")
                    s.closeNotifyAndHearBack();
            },
            version);
        auto context = testCa();
        PolledClient control(server.port(), context, {"localhost", {}, {}});
        ASSERT_EQ(control.handshake(), TlsStatus::Ok);
        EXPECT_EQ(control.channel->protocolVersion(), version == TLS1_3_VERSION ? "TLSv1.3" : "TLSv1.2");
        EXPECT_EQ(control.readLine(), kGreeting);
        auto session = control.channel->session();
        ASSERT_NE(session, nullptr);

        for (int i = 0; i < 3; ++i) {
            PolledClient data(server.port(), context, {"localhost", {}, session});
            ASSERT_EQ(data.handshake(), TlsStatus::Ok);
            EXPECT_TRUE(data.channel->resumed());
            EXPECT_EQ(data.channel->certificate().sha256, control.channel->certificate().sha256);
            EXPECT_EQ(data.readLine(), kGreeting);
        }
        EXPECT_FALSE(control.channel->resumed());
        EXPECT_EQ(control.write("QUIT\n"), TlsStatus::Ok);
        std::string rest;
        EXPECT_EQ(control.readToEnd(rest), TlsStatus::Closed);
        control.shutdown();
        // The server's own view, which is what a server that insists on resumption checks.
        EXPECT_EQ(server.resumed(), 3);
    }
}

// A certificate the author accepted on the control connection is not asked about again for its
// data connections: they resume the session, which proves the same server.
TEST_F(TlsChannelTest, DataConnectionsOfAnAcceptedCertificateNeedNoQuestion) {
    TlsServer server("self", greetAndClose);
    auto context = testCa();
    PolledClient control(server.port(), context, {"localhost", {}, {}});
    ASSERT_EQ(control.handshake(), TlsStatus::Failed);
    control.channel->acceptCertificate();
    EXPECT_EQ(control.readLine(), kGreeting);
    ASSERT_NE(control.channel->session(), nullptr);

    PolledClient data(server.port(), context, {"localhost", {}, control.channel->session()});
    EXPECT_EQ(data.handshake(), TlsStatus::Ok);
    EXPECT_TRUE(data.channel->resumed());
}

TEST_F(TlsChannelTest, CleanEndIsToldFromTruncation) {
    const std::string payload(100000, 'x');
    struct Case {
        const char* name;
        std::function<void(ServerSide&)> end;
        TlsStatus expected;
    };
    std::atomic<bool> heardBack{false};
    const std::vector<Case> cases = {
        {"close_notify", [&](ServerSide& s) { heardBack = s.closeNotifyAndHearBack(); }, TlsStatus::Closed},
        {"closed without close_notify", [](ServerSide& s) { ::shutdown(s.fd, SHUT_RDWR); },
         TlsStatus::Truncated},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TlsServer server("good", [&](ServerSide& s) {
            s.send(payload);
            c.end(s);
        });
        PolledClient client(server.port(), testCa(), {"localhost", {}, {}});
        ASSERT_EQ(client.handshake(), TlsStatus::Ok);
        std::string received;
        EXPECT_EQ(client.readToEnd(received), c.expected);
        EXPECT_EQ(received, payload);
        char byte;
        EXPECT_EQ(client.channel->read(&byte, 1).status, c.expected); // and it stays so
        if (c.expected == TlsStatus::Closed) {
            EXPECT_EQ(client.shutdown(), TlsStatus::Ok);
        } else {
            EXPECT_EQ(client.channel->shutdown().status, TlsStatus::Truncated);
        }
    }
    EXPECT_TRUE(heardBack); // our close_notify answered the server's
}

TEST_F(TlsChannelTest, PeersThatSpeakNoTlsFailTheHandshake) {
    {
        PlainServer ftp("500 Syntax error, command unrecognized.\r\n");
        PolledClient client(ftp.port(), testCa(), {"localhost", {}, {}});
        EXPECT_EQ(client.handshake(), TlsStatus::Failed);
        EXPECT_EQ(client.channel->failure(), TlsFailure::NotTls) << client.channel->detail();
        EXPECT_EQ(client.channel->session(), nullptr);
    }
    {
        PlainServer silentCloser("");
        PolledClient client(silentCloser.port(), testCa(), {"localhost", {}, {}});
        EXPECT_EQ(client.handshake(), TlsStatus::Failed);
        EXPECT_EQ(client.channel->failure(), TlsFailure::Ended);
    }
    {
        // Old servers: TLS 1.1 at most is refused, before any certificate is looked at.
        TlsServer old("good", greetAndClose, TLS1_1_VERSION);
        PolledClient client(old.port(), testCa(), {"localhost", {}, {}});
        EXPECT_EQ(client.handshake(), TlsStatus::Failed);
        EXPECT_EQ(client.channel->failure(), TlsFailure::Protocol);
        EXPECT_FALSE(client.channel->detail().empty());
        EXPECT_EQ(old.served(), 0);
    }
}

// The way the socket component drives a channel: one-shot FD_READ and FD_WRITE notifications,
// re-armed by the channel's own reads and writes. Both directions move more than the socket
// buffers hold, so writes wait for FD_WRITE and reads fill the buffer and come back for more.
TEST_F(TlsChannelTest, NotificationsOfTheAsynchronousSocketDriveIt) {
    constexpr std::size_t kSize = 4 * 1024 * 1024;
    std::string upload(kSize, '\0');
    for (std::size_t i = 0; i < kSize; ++i)
        upload[i] = static_cast<char>(i * 7 + i / 65536);
    const std::string download(upload.rbegin(), upload.rend());
    std::atomic<bool> clientBlocked{false};
    std::atomic<bool> serverHeardBack{false};
    std::string uploaded;
    auto server = std::make_unique<TlsServer>(
        "good",
        [&](ServerSide& s) {
            // Nothing is read until the client had to wait for the socket.
            for (int i = 0; i < 30000 && !clientBlocked; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            uploaded = s.receive(kSize);
            s.send(download);
            serverHeardBack = s.closeNotifyAndHearBack();
        },
        0, 32768);

    constexpr unsigned kMessage = WM_USER + 101;
    MessageWindow window;
    std::unique_ptr<AsyncSocket> socket = AsyncSocket::create();
    ASSERT_TRUE(socket);
    int sendBuffer = 32768;
    ::setsockopt(socket->fd(), SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    TlsChannel channel(testCa(), std::make_unique<AsyncSocketTransport>(*socket), {"localhost", {}, {}});

    bool secured = false;
    bool finished = false;
    std::size_t sent = 0;
    std::string received;
    TlsStatus end = TlsStatus::Ok;
    std::vector<char> buffer(65536);
    auto step = [&] {
        if (!secured) {
            const TlsResult r = channel.handshake();
            secured = r.status == TlsStatus::Ok;
            finished = r.status == TlsStatus::Failed;
            if (!secured)
                return;
        }
        while (sent < upload.size()) {
            const TlsResult r =
                channel.write(upload.data() + sent, std::min<std::size_t>(upload.size() - sent, 65536));
            sent += r.bytes;
            if (r.status == TlsStatus::WantWrite) {
                clientBlocked = true;
                break; // FD_WRITE comes when the socket takes more
            }
            if (r.status != TlsStatus::Ok) {
                finished = true;
                return;
            }
        }
        for (;;) {
            const TlsResult r = channel.read(buffer.data(), buffer.size());
            received.append(buffer.data(), r.bytes);
            if (r.status == TlsStatus::Ok)
                continue; // the buffer was full: more may wait inside the channel unannounced
            if (r.status == TlsStatus::Closed || r.status == TlsStatus::Truncated ||
                r.status == TlsStatus::Failed) {
                end = r.status;
                finished = true;
                if (r.status == TlsStatus::Closed)
                    channel.shutdown();
            }
            return;
        }
    };
    window.setHandler([&](const Message& m) {
        if (m.msg != kMessage || m.wParam != socket->tag())
            return;
        const unsigned event = selectEvent(m.lParam);
        if (event == FD_CONNECT && selectError(m.lParam) != 0)
            finished = true;
        else if (!finished &&
                 (event == FD_CONNECT || event == FD_READ || event == FD_WRITE || event == FD_CLOSE))
            step();
    });
    socket->select(&window, kMessage, FD_ALL_EVENTS);
    socket->connect(loopback(server->port()));

    bool gaveUp = false;
    QTimer::singleShot(60000, [&] { gaveUp = true; });
    waitUntil([&] { return finished || gaveUp; });
    ASSERT_FALSE(gaveUp) << "the notifications stopped coming";
    EXPECT_TRUE(secured);
    EXPECT_TRUE(clientBlocked);
    EXPECT_EQ(sent, upload.size());
    EXPECT_EQ(end, TlsStatus::Closed);
    EXPECT_TRUE(received == download) << received.size() << " bytes received";
    server.reset(); // its connection has ended: our close_notify came after its own
    EXPECT_TRUE(uploaded == upload);
    EXPECT_TRUE(serverHeardBack);
}
