// The socket component's core: errors and texts, lookup, connect, status levels, lines, reads,
// time-outs, cancel and destruction during a wait.

#include "net/socket.h"
#include "net/texts.h"
#include "peer.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <gtest/gtest.h>
#include <netdb.h>

#include <condition_variable>
#include <mutex>

using namespace quillet::net;
using namespace quillet::testing;
namespace platform = quillet::platform;

namespace {

// A resolver whose answers the test releases one by one. Its state outlives the test, since
// a lookup thread may still be inside it.
class HeldResolver {
public:
    HeldResolver() {
        platform::setResolver(
            [state = state_](const std::string& name, std::vector<platform::SocketAddress>* addresses) {
                std::unique_lock lock(state->mutex);
                state->released.wait(lock, [&] { return state->releasedNames.count(name) > 0; });
                if (name.rfind("bad", 0) == 0)
                    return EAI_NONAME;
                addresses->push_back(*platform::SocketAddress::numeric(state->answers[name]));
                return 0;
            });
    }
    ~HeldResolver() {
        platform::setResolver({});
        std::lock_guard lock(state_->mutex);
        for (auto& [name, _] : state_->answers)
            state_->releasedNames.insert(name);
        state_->released.notify_all();
    }
    void answer(const std::string& name, const std::string& address) {
        std::lock_guard lock(state_->mutex);
        state_->answers[name] = address;
    }
    void release(const std::string& name) {
        std::lock_guard lock(state_->mutex);
        state_->releasedNames.insert(name);
        state_->released.notify_all();
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable released;
        std::map<std::string, std::string> answers;
        std::set<std::string> releasedNames;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no exception)";
}

void connectTo(TPowersock& s, std::uint16_t port) {
    s.Host = "127.0.0.1";
    s.Port = port;
    s.Connect();
}

} // namespace

TEST(SocketTexts, ErrorMessagesAndWinsockNumbers) {
    TPowersock s;
    struct Case {
        int number;
        std::string text;
    } cases[] = {
        {0, ""},
        {11001, "11001:Host not found"},
        {10061, "10061:Connection refused"},
        {10035, "10035:Operation would block"},
        {10100, "Unknown Error No. 10100"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(s.ErrorMessage(c.number), c.text) << c.number;

    EXPECT_EQ(platform::winsockErrorFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(platform::winsockErrorFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(platform::winsockErrorFromErrno(EINPROGRESS), 10035);
    EXPECT_EQ(platform::winsockErrorFromErrno(EADDRINUSE), 10048);
    EXPECT_EQ(platform::winsockErrorFromLookup(EAI_NONAME), 11001);
    // An errno Winsock has no number for must not borrow one of the table's texts.
    EXPECT_EQ(NMConst::winsockErrorText(platform::winsockErrorFromErrno(EDEADLK)), nullptr);
}

TEST(SocketTexts, NthWord) {
    struct Case {
        std::string text;
        int n;
        std::string word;
    } cases[] = {
        {"RETR a b", 1, "RETR"}, {"RETR a b", 3, "b"}, {"RETR a b", 4, ""}, {"CWD  dir", 2, ""},
        {"CWD  dir", 3, "dir"},  {"", 1, ""},          {"abc", 0, ""},      {"abc", 1, "abc"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NthWord(c.text, ' ', c.n), c.word) << c.text << " " << c.n;
}

TEST(SocketStartup, CountIsSharedAndInfoComesOnce) {
    int before = TPowersock::StartupCount();
    {
        auto first = std::make_unique<TPowersock>();
        TPowersock second;
        EXPECT_EQ(TPowersock::StartupCount(), before + 2);
        if (before == 0) {
            EXPECT_EQ(first->WinsockInfo().size(), 6u);
        }
        EXPECT_TRUE(second.WinsockInfo().empty());
        EXPECT_GE(second.SocketHandle(), 0);
        first.reset();
        EXPECT_EQ(TPowersock::StartupCount(), before + 1);
    }
    EXPECT_EQ(TPowersock::StartupCount(), before);
}

TEST(SocketConnect, StatusLevelsFilterWhatIsReported) {
    Peer peer([](int fd) {
        recvLine(fd);
        sendAll(fd, "230 Welcome\r\n");
        recvLine(fd);
        sendAll(fd, "x\r\n");
        recvLine(fd);
        sendAll(fd, "y\r\n");
        recvBytes(fd, 1);
    });
    TPowersock s;
    std::vector<std::string> seen;
    s.OnStatus = [&](QObject*, const std::string& text) { seen.push_back(text); };
    connectTo(s, peer.port());
    EXPECT_TRUE(seen.empty()) << "level 0 reports nothing";

    s.ReportLevel = 1;
    s.Transaction("NOOP");
    EXPECT_EQ(seen, std::vector<std::string>{"230 Welcome\r\n"});

    seen.clear();
    s.ReportLevel = 8;
    s.Transaction("NOOP");
    EXPECT_EQ(seen.front(), "Transaction");
    EXPECT_NE(std::find(seen.begin(), seen.end(), "Writeln"), seen.end());
    EXPECT_NE(std::find(seen.begin(), seen.end(), "Sending Buffer"), seen.end());
    EXPECT_NE(std::find(seen.begin(), seen.end(), "x\r\n"), seen.end());
    EXPECT_EQ(std::find(seen.begin(), seen.end(), "Checking Error In Error Manager"), seen.end());

    seen.clear();
    s.ReportLevel = 16;
    s.Transaction("NOOP");
    try {
        s.ErrorManager(0);
    } catch (const ESockError&) {
    }
    EXPECT_NE(std::find(seen.begin(), seen.end(), "Checking Error In Error Manager"), seen.end());
}

TEST(SocketConnect, LinesArriveInPiecesAndTransactionsParseNumbers) {
    Peer peer([](int fd) {
        EXPECT_EQ(recvBytes(fd, 8), "USER x\r\n");
        for (char c : std::string("220 ready\r\n331"))
            sendAll(fd, std::string(1, c));
        EXPECT_EQ(recvLine(fd), "PASS y\r\n");
        sendAll(fd, " please\r\n230 Welcome\r\n");
        recvLine(fd);
        sendAll(fd, "abc 12\r\n");
        recvLine(fd);
        sendAll(fd, "99999999999 big\r\n");
        recvBytes(fd, 1);
    });
    TPowersock s;
    bool connected = false;
    bool resolved = false;
    s.OnConnect = [&](QObject*) { connected = true; };
    s.OnHostResolved = [&](QObject*) { resolved = true; };
    connectTo(s, peer.port());
    EXPECT_TRUE(connected);
    EXPECT_FALSE(resolved) << "a dotted address needs no lookup";
    EXPECT_EQ(errorOf([&] { s.Connect(); }), "Already connected");
    EXPECT_TRUE(s.Connected());

    s.Writeln("USER x");
    EXPECT_EQ(s.ReadLn(), "220 ready\r\n");
    struct Case {
        std::string command;
        std::string reply;
        int number;
    } cases[] = {
        {"PASS y", "331 please\r\n", 331},
        {"NOOP", "230 Welcome\r\n", 230},
        {"NOOP", "abc 12\r\n", 0},
        {"NOOP", "99999999999 big\r\n", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(s.Transaction(c.command), c.reply);
        EXPECT_EQ(s.LastReply(), c.reply);
        EXPECT_EQ(s.ReplyNumber(), c.number) << c.reply;
    }
    // The remote address the FTP client announces for its data connections.
    EXPECT_EQ(s.GetPortAddress(), "127,0,0,1");
}

TEST(SocketConnect, RefusedPortFailsAndTheComponentStaysUsable) {
    int probe = listenOn(0);
    std::uint16_t refused = localPort(probe);
    ::close(probe);
    TPowersock s;
    int failed = 0;
    int errors = 0;
    s.OnConnectionFailed = [&](QObject*) { ++failed; };
    s.OnError = [&](QObject*, int, const std::string&) { ++errors; };
    EXPECT_EQ(errorOf([&] { connectTo(s, refused); }), "Connection Failed");
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(errors, 0);
    EXPECT_FALSE(s.Connected());

    Peer peer([](int fd) {
        sendAll(fd, "220 again\r\n");
        recvBytes(fd, 1);
    });
    connectTo(s, peer.port());
    EXPECT_EQ(s.ReadLn(), "220 again\r\n");
}

TEST(SocketConnect, TimesOutOnAFullAcceptQueueAndStaysClosed) {
    // A listener that never accepts and whose queue is full drops further SYNs.
    int listener = listenOn(0, 0);
    std::uint16_t port = localPort(listener);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in a = loopback(port);
        ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        fillers.push_back(fd);
    }
    TPowersock s;
    s.TimeOut = 150;
    bool failed = false;
    s.OnConnectionFailed = [&](QObject*) { failed = true; };
    EXPECT_EQ(errorOf([&] { connectTo(s, port); }), "Connection Timed out");
    EXPECT_TRUE(failed);
    EXPECT_TRUE(s.TimedOut());
    // The abandoned attempt is closed, so no late completion can mark the component
    // connected: its socket is a fresh one, bound to no port yet.
    EXPECT_EQ(localPort(s.SocketHandle()), 0);
    EXPECT_FALSE(s.Connected());
    for (int fd : fillers)
        ::close(fd);
    ::close(listener);
}

TEST(SocketLookup, NamesHostsAndOnInvalidHost) {
    Peer peer([](int fd) {
        sendAll(fd, "220 hi\r\n");
        recvBytes(fd, 1);
    });
    HeldResolver resolver;
    resolver.answer("good.test", "127.0.0.1");
    resolver.release("good.test");
    resolver.release("bad.invalid");
    {
        TPowersock s;
        EXPECT_EQ(errorOf([&] {
                      s.Host = "bad.invalid";
                      s.Port = peer.port();
                      s.Connect();
                  }),
                  "Null Remote Address");
        int asked = 0;
        s.OnInvalidHost = [&](bool& handled) {
            ++asked;
            handled = true; // but leaves the host as it is
        };
        EXPECT_EQ(errorOf([&] { s.Connect(); }), "Null Remote Address");
        EXPECT_EQ(asked, 1);

        s.OnInvalidHost = [&](bool& handled) {
            s.Host = "good.test";
            handled = true;
        };
        bool resolved = false;
        s.OnHostResolved = [&](QObject*) { resolved = true; };
        s.Connect();
        EXPECT_TRUE(resolved);
        EXPECT_EQ(s.ReadLn(), "220 hi\r\n");
    }
}

TEST(SocketLookup, ALateReplyIsDroppedAndCannotEndTheNextLookup) {
    Peer peer([](int fd) {
        sendAll(fd, "220 right host\r\n");
        recvBytes(fd, 1);
    });
    HeldResolver resolver;
    resolver.answer("old.test", "127.0.0.3"); // nobody listens there
    resolver.answer("new.test", "127.0.0.1");
    TPowersock s;
    s.Port = peer.port();
    s.Host = "old.test";
    s.TimeOut = 100;
    EXPECT_EQ(errorOf([&] { s.Connect(); }), "Host Lookup Timed Out");

    s.TimeOut = 0;
    s.Host = "new.test";
    // The old reply comes while the new lookup waits; only then does the new one answer.
    QTimer::singleShot(0, [&] {
        resolver.release("old.test");
        QTimer::singleShot(30, [&] { resolver.release("new.test"); });
    });
    s.Connect();
    EXPECT_EQ(s.ReadLn(), "220 right host\r\n");
}

TEST(SocketLookup, CancelEndsALookupAndALateReplyFindsNoComponent) {
    HeldResolver resolver;
    resolver.answer("slow.test", "127.0.0.1");
    auto s = std::make_unique<TPowersock>();
    s->Host = "slow.test";
    QTimer::singleShot(10, [&] { s->Cancel(); });
    EXPECT_EQ(errorOf([&] { s->Connect(); }), "Host Lookup Canceled");
    s.reset();
    resolver.release("slow.test");
    QTimer::singleShot(20, [] {});
    platform::waitUntil([] { return true; });
}

TEST(SocketRead, PeerThatNeverAnswersTimesOutAndCancelEndsTheWait) {
    Peer peer([](int fd) {
        sendAll(fd, "220 partial");
        recvBytes(fd, 1 << 20); // until the component goes
    });
    TPowersock s;
    connectTo(s, peer.port());
    s.TimeOut = 100;
    EXPECT_EQ(errorOf([&] { s.ReadLn(); }), "Connection Timed out");
    EXPECT_TRUE(s.TimedOut());
    EXPECT_EQ(errorOf([&] { s.Read(100); }), "Connection Timed out");

    s.TimeOut = 0;
    QTimer::singleShot(20, [&] { s.Cancel(); });
    try {
        s.ReadLn();
        ADD_FAILURE() << "ReadLn returned";
    } catch (const EAbortError& e) {
        EXPECT_STREQ(e.what(), "Socket readln aborted");
    }
    EXPECT_TRUE(s.Canceled()) << "ReadLn leaves the cancel set";
    // A send that finds the cancel set raises instead of pretending it has sent.
    EXPECT_THROW(s.Writeln("NOOP"), EAbortError);
    EXPECT_FALSE(s.Canceled());
    QTimer::singleShot(20, [&] { s.Cancel(); });
    EXPECT_EQ(errorOf([&] { s.Read(50); }), "Socket send aborted");
    EXPECT_EQ(s.Read(0), "220 partial") << "the partial line stays buffered";
}

TEST(SocketRead, EveryWaitEndsWhenThePeerIsGone) {
    struct Case {
        const char* name;
        bool reset;
        std::function<void(TPowersock&)> op;
        std::string error;
    } cases[] = {
        {"ReadLn after close", false, [](TPowersock& s) { s.ReadLn(); }, "Connection closed by peer"},
        {"Read after close", false, [](TPowersock& s) { s.Read(100); }, "Connection closed by peer"},
        {"Transaction after reset", true, [](TPowersock& s) { s.Transaction("NOOP"); },
         "10054:Connection reset by peer"},
    };
    for (auto& c : cases) {
        Peer peer([&](int fd) {
            recvBytes(fd, 1);
            sendAll(fd, "half a li");
            if (c.reset) {
                recvBytes(fd, 5);
                resetOnClose(fd);
            }
        });
        TPowersock s;
        connectTo(s, peer.port());
        s.Write("!");
        EXPECT_EQ(errorOf([&] { c.op(s); }), c.error) << c.name;
        EXPECT_FALSE(s.Connected());
        if (!c.reset) {
            EXPECT_EQ(s.Read(0), "half a li") << c.name << ": buffered bytes stay readable";
        }
    }
}

TEST(SocketRead, LongLinesAndBigBuffers) {
    const std::string big(200000, 'b');
    Peer peer([&](int fd) {
        sendAll(fd, big);
        recvBytes(fd, 1);
        sendAll(fd, std::string(kMaxLineLength + 10, 'a'));
        recvBytes(fd, 1);
    });
    TPowersock s;
    connectTo(s, peer.port());
    EXPECT_EQ(s.Read(big.size() - 1000).size(), big.size() - 1000);
    EXPECT_EQ(s.Read(0).size(), 1000u);
    s.Write("!");
    EXPECT_EQ(errorOf([&] { s.ReadLn(); }), "Line too long");
}

TEST(SocketWrite, WholeTextIsSentWhateverItHolds) {
    std::string text(20000, 'w');
    text[100] = '\0';
    Peer peer([&](int fd) {
        EXPECT_EQ(recvBytes(fd, text.size() + 2), text + "\r\n");
        sendAll(fd, "ok\n");
        recvBytes(fd, 1);
    });
    TPowersock s;
    connectTo(s, peer.port());
    s.Write("");
    s.Writeln(text);
    EXPECT_EQ(s.ReadLn(), "ok\n");
}

TEST(SocketLifetime, TwoComponentsAtOnce) {
    auto echo = [](int fd) {
        for (std::string line; !(line = recvLine(fd)).empty();)
            sendAll(fd, "200 " + line);
    };
    Peer a(echo), b(echo);
    TPowersock first, second;
    connectTo(first, a.port());
    connectTo(second, b.port());
    for (int i = 0; i < 20; ++i) {
        std::string n = std::to_string(i);
        EXPECT_EQ(first.Transaction("A" + n), "200 A" + n + "\r\n");
        EXPECT_EQ(second.Transaction("B" + n), "200 B" + n + "\r\n");
    }
    first.Disconnect();
    EXPECT_FALSE(first.Connected());
    EXPECT_EQ(second.Transaction("still"), "200 still\r\n");
}

TEST(SocketLifetime, DestroyedDuringItsOwnWait) {
    Peer peer([](int fd) { recvBytes(fd, 1 << 20); });
    // Free: the wait is cancelled, and the component goes once the operation has unwound.
    QPointer<TPowersock> s = new TPowersock;
    connectTo(*s, peer.port());
    QTimer::singleShot(10, [&] { s->Free(); });
    EXPECT_THROW(s->ReadLn(), EAbortError);
    ASSERT_FALSE(s.isNull());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(s.isNull());

    // Deleted outright by its owner: the wait unwinds without touching the dead component.
    Peer peer2([](int fd) { recvBytes(fd, 1 << 20); });
    auto* owner = new QObject;
    auto* t = new TPowersock(owner);
    connectTo(*t, peer2.port());
    QTimer::singleShot(10, [&] { delete owner; });
    EXPECT_THROW(t->ReadLn(), EAbortError);
}

TEST(SocketRead, ACloseAfterACancelIsStillSeen) {
    Peer peer([](int fd) { recvLine(fd); });
    TPowersock s;
    connectTo(s, peer.port());
    QTimer::singleShot(10, [&] { s.Cancel(); });
    EXPECT_THROW(s.ReadLn(), EAbortError);
    s.ClearCancel();
    s.Writeln("bye"); // the peer leaves
    s.TimeOut = 5000; // were the notifications off, this would end in a time-out
    EXPECT_EQ(errorOf([&] { s.ReadLn(); }), "Connection closed by peer");
}

TEST(SocketLifetime, DestroyedByItsOwnEventHandlerDuringAWait) {
    struct Case {
        const char* name;
        std::function<void(TPowersock*, std::function<void()>)> install;
    } cases[] = {
        {"OnDisconnect",
         [](TPowersock* s, std::function<void()> kill) { s->OnDisconnect = [kill](QObject*) { kill(); }; }},
        {"OnDataArrived",
         [](TPowersock* s, std::function<void()> kill) { s->OnDataArrived = [kill](QObject*) { kill(); }; }},
    };
    for (const auto& c : cases) {
        Peer peer([](int fd) { sendAll(fd, "no line end"); });
        auto* owner = new QObject;
        auto* s = new TPowersock(owner);
        connectTo(*s, peer.port());
        c.install(s, [owner] { delete owner; });
        EXPECT_THROW(s->ReadLn(), EAbortError) << c.name;
    }
}
