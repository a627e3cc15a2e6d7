// The socket component over TLS: its lines, transactions, file transfers and the peer's end all
// go through the channel, driven by the same notifications as plain data.

#include "net/socket.h"
#include "net/texts.h"
#include "peer.h"
#include "tls_server.h"

#include "../document/temp_dir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

using namespace quillet::net;
using namespace quillet::testing;
namespace platform = quillet::platform;

namespace {

class TlsSocketTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Certificates::get().ok())
            GTEST_SKIP() << "the openssl command could not make the test certificates";
    }
    static void secure(TPowersock& s, std::uint16_t port) {
        s.Host = "127.0.0.1";
        s.Port = port;
        s.TimeOut = 10000;
        s.Connect();
        s.StartTls(platform::TlsContext::create(Certificates::get().ca()), {"localhost", {}, {}});
    }
};

void pump(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

std::string pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(i * 31 + i / 4096);
    return s;
}

// The server's close_notify came (SSL_read saw the clean end).
bool heardCloseNotify(ServerSide& s) {
    char c;
    const int n = SSL_read(s.ssl, &c, 1);
    return n <= 0 && SSL_get_error(s.ssl, n) == SSL_ERROR_ZERO_RETURN;
}

} // namespace

TEST_F(TlsSocketTest, LinesAndTransactionsGoThroughTheChannel) {
    std::atomic<bool> heardBack{false};
    std::string command;
    TlsServer server("good", [&](ServerSide& s) {
        s.send("220-secured\r\n220 ready\r\n");
        command = s.receive(6);
        s.send("200 ok\r\n");
        heardBack = s.closeNotifyAndHearBack();
    });
    TPowersock s;
    secure(s, server.port());
    ASSERT_TRUE(s.Tls());
    EXPECT_EQ(s.ReadLn(), "220-secured\r\n");
    EXPECT_EQ(s.ReadLn(), "220 ready\r\n");
    EXPECT_EQ(s.Transaction("NOOP"), "200 ok\r\n");
    EXPECT_EQ(s.ReplyNumber(), 200);
    // The server's close_notify is the end of the connection; ours answers it.
    EXPECT_THROW(s.ReadLn(), ESockError);
    EXPECT_FALSE(s.Connected());
    EXPECT_EQ(s.TlsEnd(), platform::TlsStatus::Closed);
    server.served();
    EXPECT_EQ(command, "NOOP\r\n");
    EXPECT_TRUE(heardBack);
}

// A download's data and the end that follows it often arrive together: everything before the
// end reaches the file, read through the channel, and the way the stream ended is told apart
// (an end without close_notify may be somebody's cut).
TEST_F(TlsSocketTest, CaptureTakesEverythingBeforeTheEndAndTellsHowItEnded) {
    const std::string payload = pattern(3 << 20);
    for (const bool clean : {true, false}) {
        SCOPED_TRACE(clean ? "close_notify" : "cut");
        TempDir dir;
        TlsServer server("good", [&](ServerSide& s) {
            s.send(payload);
            if (clean)
                s.closeNotifyAndHearBack();
            else
                ::shutdown(s.fd, SHUT_RDWR);
        });
        TPowersock s;
        secure(s, server.port());
        pump(300); // the data and the end wait, partly in our buffer, partly in the socket's
        const std::string file = dir.file("page.html");
        s.CaptureFile(file);
        EXPECT_EQ(s.BytesRecvd(), payload.size());
        EXPECT_TRUE(readFile(file) == payload);
        EXPECT_EQ(s.TlsEnd(), clean ? platform::TlsStatus::Closed : platform::TlsStatus::Truncated);
        EXPECT_FALSE(s.Connected());
    }
}

// An upload ends with our close_notify, so the server knows the file is whole; the sending
// direction ends too, while the component still reads what the server sends.
TEST_F(TlsSocketTest, SendFileThenShutdownTls) {
    const std::string payload = pattern(4 << 20);
    TempDir dir;
    const std::string file = dir.file("page.html");
    writeFile(file, payload);
    std::string received;
    std::atomic<bool> closeNotify{false};
    TlsServer server(
        "good",
        [&](ServerSide& s) {
            ::usleep(200 * 1000); // the client meets a full socket first
            received = s.receive(payload.size());
            closeNotify = heardCloseNotify(s);
            s.send("226 done\r\n");
        },
        0, 32768);
    TPowersock s;
    secure(s, server.port());
    s.SendFile(file);
    s.ShutdownTls();
    EXPECT_EQ(s.ReadLn(), "226 done\r\n");
    EXPECT_EQ(s.BytesSent(), payload.size());
    server.served();
    EXPECT_TRUE(received == payload) << received.size();
    EXPECT_TRUE(closeNotify);
}

// Bytes that came in clear before the handshake (after an FTP server's "234", say) could be
// anybody's: they refuse the handshake instead of passing for the server's words.
TEST_F(TlsSocketTest, ClearBytesBeforeTheHandshakeRefuseIt) {
    std::string seen = "unset";
    {
        Peer peer([&](int fd) {
            sendAll(fd, "234 go ahead\r\n331 injected, send your password\r\n");
            seen = recvBytes(fd, 1); // a ClientHello, or the close
        });
        TPowersock s;
        s.Host = "127.0.0.1";
        s.Port = peer.port();
        s.TimeOut = 5000;
        s.Connect();
        EXPECT_EQ(s.ReadLn(), "234 go ahead\r\n");
        for (int i = 0; i < 100 && s.ReceiveStream().empty(); ++i)
            pump(10);
        ASSERT_FALSE(s.ReceiveStream().empty());
        try {
            s.StartTls(platform::TlsContext::create(Certificates::get().ca()), {"localhost", {}, {}});
            FAIL() << "secured over injected bytes";
        } catch (const ETlsError& e) {
            EXPECT_EQ(e.Failure(), platform::TlsFailure::Protocol);
            EXPECT_EQ(e.Detail(), NMConst::Tls_Detail_ClearBeforeHandshake);
        }
        EXPECT_FALSE(s.Connected());
        EXPECT_FALSE(s.Tls());
    } // the peer has seen all it will see
    EXPECT_EQ(seen, "");
}
