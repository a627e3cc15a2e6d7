// Files over a connection, and listening for a data connection as the FTP client does.

#include "document/file_io.h"
#include "document/temp_dir.h"
#include "net/socket.h"
#include "peer.h"

#include <QTimer>
#include <gtest/gtest.h>

#include <poll.h>
#include <random>

using namespace quillet::net;
using namespace quillet::testing;
namespace doc = quillet::doc;
namespace platform = quillet::platform;

namespace {

std::string randomBytes(std::size_t n) {
    std::mt19937 gen(static_cast<unsigned>(n));
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(gen());
    return s;
}

void connectTo(TPowersock& s, std::uint16_t port) {
    s.Host = "127.0.0.1";
    s.Port = port;
    s.Connect();
}

// The port as GetPortNumbers announces it: ",p1,p2", high byte first.
std::uint16_t announcedPort(TPowersock& s) {
    const std::string numbers = s.GetPortNumbers();
    int p1 = -1, p2 = -1;
    EXPECT_EQ(std::sscanf(numbers.c_str(), ",%d,%d", &p1, &p2), 2) << numbers;
    EXPECT_TRUE(p1 >= 0 && p1 < 256 && p2 >= 0 && p2 < 256) << numbers;
    return static_cast<std::uint16_t>(p1 * 256 + p2);
}

// Large enough to take many blocks and fill the socket buffers; the full size runs in bench/.
constexpr std::size_t kLargeFile = 8 * 1024 * 1024;

} // namespace

TEST(SocketFiles, SendFileAndCaptureFileKeepEveryByte) {
    TempDir dir;
    for (std::size_t size : {std::size_t{0}, std::size_t{5}, kBlockSize, kLargeFile}) {
        const std::string content = randomBytes(size);
        const std::string source = dir.file("out.bin");
        writeFile(source, content);

        std::string received;
        Peer uploadPeer([&](int fd) {
            received = recvBytes(fd, size);
            sendAll(fd, "done\n");
            recvBytes(fd, 1);
        });
        TPowersock up;
        int sent = 0;
        up.OnPacketSent = [&](QObject*) { ++sent; };
        connectTo(up, uploadPeer.port());
        up.SendFile(source);
        EXPECT_EQ(up.BytesTotal(), static_cast<std::int64_t>(size));
        EXPECT_EQ(up.BytesSent(), size);
        EXPECT_FALSE(up.Transferring());
        EXPECT_EQ(up.ReadLn(), "done\n");
        EXPECT_TRUE(received == content) << "upload of " << size;
        EXPECT_EQ(sent > 0, size > 0);

        // The first bytes already wait in the buffer when the capture starts; the last come
        // together with the close.
        Peer downloadPeer([&](int fd) { sendAll(fd, "head\n" + content); });
        TPowersock down;
        connectTo(down, downloadPeer.port());
        EXPECT_EQ(down.ReadLn(), "head\n");
        const std::string target = dir.file("in.bin");
        down.CaptureFile(target);
        EXPECT_TRUE(readFile(target) == content) << "download of " << size;
        EXPECT_EQ(down.BytesRecvd(), size);
        EXPECT_FALSE(down.Connected());
    }
}

TEST(SocketFiles, BrokenTransfersRaise) {
    TempDir dir;
    const std::string big = dir.file("big.bin");
    writeFile(big, randomBytes(kLargeFile));
    {
        // The peer takes 1 KB and leaves: the upload ends with an error, not in a hang.
        Peer peer([](int fd) {
            recvBytes(fd, 1024);
            resetOnClose(fd);
        });
        TPowersock s;
        connectTo(s, peer.port());
        EXPECT_THROW(s.SendFile(big), ESockError);
        EXPECT_FALSE(s.Transferring());
        EXPECT_FALSE(s.StreamIsFile());
    }
    {
        // A reset in the middle of a download is no end of data.
        Peer peer([](int fd) {
            sendAll(fd, std::string(100000, 'x'));
            recvBytes(fd, 1);
            resetOnClose(fd);
        });
        TPowersock s;
        connectTo(s, peer.port());
        s.OnPacketRecvd = [&](QObject*) {
            if (s.BytesRecvd() >= 100000)
                s.Write("!"); // now the peer resets
        };
        try {
            s.CaptureFile(dir.file("partial.bin"));
            ADD_FAILURE() << "a reset download was taken for complete";
        } catch (const ESockError& e) {
            EXPECT_STREQ(e.what(), "10054:Connection reset by peer");
        }
    }
}

TEST(SocketFiles, FileErrorsEndTheTransfer) {
    TempDir dir;
    const std::string target = dir.file("full.bin");
    struct Case {
        const char* name;
        doc::FileError::Step step;
    } cases[] = {{"disk full while capturing", doc::FileError::Step::Write},
                 {"read error while sending", doc::FileError::Step::Read}};
    for (const auto& c : cases) {
        writeFile(target, randomBytes(200000));
        doc::setFaultHook([&](doc::FileError::Step step, const std::string& path) {
            return step == c.step && path == target ? ENOSPC : 0;
        });
        Peer peer([](int fd) {
            sendAll(fd, std::string(200000, 'd'));
            recvBytes(fd, 1 << 20);
        });
        TPowersock s;
        s.TimeOut = 5000;
        connectTo(s, peer.port());
        try {
            if (c.step == doc::FileError::Step::Write)
                s.CaptureFile(target);
            else
                s.SendFile(target);
            ADD_FAILURE() << c.name << ": no error";
        } catch (const doc::FileError& e) {
            EXPECT_EQ(e.errnum(), ENOSPC) << c.name;
        } catch (const std::exception& e) {
            ADD_FAILURE() << c.name << ": " << e.what();
        }
        doc::setFaultHook({});
        EXPECT_FALSE(s.Transferring()) << c.name;
    }
}

TEST(SocketFiles, AHandlerThatPumpsMessagesDoesNotStallTheTransfer) {
    TempDir dir;
    const std::string content = randomBytes(kLargeFile / 4);
    writeFile(dir.file("f"), content);
    std::string received;
    Peer peer([&](int fd) {
        received = recvBytes(fd, content.size());
        sendAll(fd, "ok\n");
        recvBytes(fd, 1);
    });
    TPowersock s;
    s.TimeOut = 5000; // a stall shows as a time-out rather than a hang
    s.OnPacketSent = [](QObject*) { platform::pumpMessages(); };
    connectTo(s, peer.port());
    s.SendFile(dir.file("f"));
    EXPECT_EQ(s.ReadLn(), "ok\n");
    EXPECT_TRUE(received == content);
}

TEST(SocketFiles, StalledTransfersTimeOut) {
    TempDir dir;
    auto timeoutOf = [](const std::function<void()>& f) -> std::string {
        try {
            f();
        } catch (const ESockError& e) {
            return e.what();
        }
        return "(no time-out)";
    };
    {
        Peer peer([](int fd) {
            sendAll(fd, "some");
            recvBytes(fd, 1 << 20);
        });
        TPowersock s;
        connectTo(s, peer.port());
        s.TimeOut = 100;
        EXPECT_EQ(timeoutOf([&] { s.CaptureFile(dir.file("stalled")); }), "Connection Timed out");
        EXPECT_EQ(readFile(dir.file("stalled")), "some");
    }
    {
        // The peer takes nothing: once the buffers are full the upload makes no progress.
        writeFile(dir.file("big"), randomBytes(kLargeFile));
        Peer peer(
            [](int fd) {
                pollfd gone{fd, POLLRDHUP, 0};
                ::poll(&gone, 1, -1);
            },
            4096);
        TPowersock s;
        connectTo(s, peer.port());
        s.TimeOut = 100;
        EXPECT_EQ(timeoutOf([&] { s.SendFile(dir.file("big")); }), "Connection Timed out");
        EXPECT_FALSE(s.Transferring());
    }
    {
        TPowersock s;
        s.Listen(true);
        s.TimeOut = 100;
        EXPECT_EQ(timeoutOf([&] { s.Accept(); }), "Connection Timed out");
    }
}

TEST(SocketListen, AcceptsAConnectionAndAdoptsIt) {
    TPowersock data;
    data.Port = 0;
    data.Listen(true);
    const std::uint16_t port = announcedPort(data);

    std::thread server([port] {
        int fd = connectTo(port);
        sendAll(fd, "line one\r\nrest");
        ::close(fd);
    });
    int fd = data.Accept();
    EXPECT_GE(fd, 0);
    EXPECT_EQ(data.RemoteAddress().ipv4(), htonl(INADDR_LOOPBACK));
    data.AdoptSocket(fd);
    EXPECT_EQ(data.SocketHandle(), fd);
    EXPECT_EQ(data.ReadLn(), "line one\r\n");
    server.join();
    EXPECT_THROW(data.ReadLn(), ESockError);
    EXPECT_EQ(data.Read(0), "rest");
}

TEST(SocketListen, EventModeCancelAndPortInUse) {
    {
        TPowersock s;
        bool accepted = false;
        s.OnAccept = [&](QObject*) { accepted = true; };
        s.Listen(false);
        int fd = connectTo(announcedPort(s));
        platform::waitUntil([&] { return accepted; });
        EXPECT_TRUE(s.Connected());
        ::close(fd);
    }
    {
        TPowersock s;
        s.Listen(true);
        QTimer::singleShot(10, [&] { s.Cancel(); });
        try {
            s.Accept();
            ADD_FAILURE() << "Accept returned";
        } catch (const EAbortError&) {
            ADD_FAILURE() << "wrong class";
        } catch (const ESockError& e) {
            EXPECT_STREQ(e.what(), "Accepting Canceled");
        }
        EXPECT_TRUE(s.Canceled());
    }
    {
        int taken = listenOn(0);
        TPowersock s;
        s.Port = localPort(taken);
        try {
            s.Listen(true);
            ADD_FAILURE() << "Listen announced a port nobody listens on";
        } catch (const ESockError& e) {
            EXPECT_STREQ(e.what(), "10048:Address already in use");
        }
        ::close(taken);
    }
}
