// Replies that a real server does not send on demand.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include "../document/temp_dir.h"
#include "ftp_servers.h"
#include "gui_gap.h"
#include "net/ftp_client.h"
#include "platform/codepage.h"

using namespace quillet::net;
using namespace quillet::testing;

namespace {
void prepare(TNMFTP& ftp, int port, int timeOut = 5000) {
    ftp.Host = "127.0.0.1";
    ftp.Port = port;
    ftp.UserID = "u";
    ftp.Password = "p";
    ftp.TimeOut = timeOut;
}

// Log-in with USER and PASS, then the given handler for every further command until QUIT.
ScriptedServer::Script session(std::function<void(ScriptSession&, const std::string&)> onCommand,
                               std::string greeting = "220 ready\r\n") {
    return [onCommand, greeting](ScriptSession& s) {
        s.send(greeting);
        if (s.readLine().rfind("USER", 0) != 0)
            return;
        s.send("331 password\r\n");
        if (s.readLine().rfind("PASS", 0) != 0)
            return;
        s.send("230 in\r\n");
        for (std::string line; !(line = s.readLine()).empty();) {
            if (line == "QUIT") {
                s.send("221 bye\r\n");
                return;
            }
            onCommand(s, line);
        }
    };
}
// Logs in to the server, lists, and returns the lines the client handed on.
std::vector<std::string> listedLines(int port) {
    TNMFTP ftp;
    prepare(ftp, port);
    ftp.Connect();
    std::vector<std::string> items;
    ftp.OnListItem = [&](const std::string& l) { items.push_back(l); };
    ftp.List();
    ftp.Disconnect();
    return items;
}
// Connect fails with exactly this reply line and leaves the client disconnected.
void expectLogInRefused(int port, const char* reply) {
    TNMFTP ftp;
    prepare(ftp, port);
    try {
        ftp.Connect();
        ADD_FAILURE() << "connected";
    } catch (const FTPException& e) {
        EXPECT_STREQ(e.what(), reply);
    }
    EXPECT_FALSE(ftp.Connected());
}

// Log-in; PORT answered with its data connection opened at once; RETR, STOR and LIST served by
// `transfer`; anything else answered "200" and the command.
ScriptedServer::Script transferSession(std::function<void(ScriptSession&)> transfer) {
    return session([transfer](ScriptSession& s, const std::string& line) {
        if (line.starts_with("PORT")) {
            s.send("200 ok\r\n");
            s.openData(line);
        } else if (line.starts_with("RETR") || line.starts_with("STOR") || line == "LIST") {
            transfer(s);
        } else {
            s.send("200 " + line + "\r\n");
        }
    });
}

// Answers PORT and STOR as a server that takes the upload whole; false for any other command.
bool takeUpload(ScriptSession& s, const std::string& line) {
    if (line.starts_with("PORT")) {
        s.send("200 ok\r\n");
        s.openData(line);
        return true;
    }
    if (line.starts_with("STOR")) {
        s.send("150 go\r\n");
        s.receiveData();
        s.closeData();
        s.send("226 done\r\n");
        return true;
    }
    return false;
}
} // namespace

TEST(FtpReplies, MultiLineGreetingAndRepliesAreReadWhole) {
    ScriptedServer server(session(
        [](ScriptSession& s, const std::string& line) {
            if (line == "SYST")
                // Plain-text middle lines belong to the reply all the same.
                s.send("215-first\r\nplain text line\r\n 215 indented\r\n215 UNIX Type: L8\r\n");
            else
                s.send("200 " + line + "\r\n");
        },
        "220-Welcome\r\n220-to the test\r\n220 ready\r\n"));
    TNMFTP ftp;
    prepare(ftp, server.port());
    ftp.Connect();
    ftp.DoCommand("SYST");
    EXPECT_EQ(ftp.LastReply(), "215-first\r\n");
    ftp.DoCommand("NOOP");
    EXPECT_EQ(ftp.LastReply(), "200 NOOP\r\n");
    ftp.Disconnect();
}

TEST(FtpReplies, GreetingRefusalAndReplyWithoutCode) {
    {
        bool userSent = false;
        ScriptedServer server([&](ScriptSession& s) {
            s.send("421 Too many users\r\n");
            userSent = s.readLine(500).rfind("USER", 0) == 0;
        });
        expectLogInRefused(server.port(), "421 Too many users\r\n");
        EXPECT_FALSE(userSent);
    }
    {
        ScriptedServer server([](ScriptSession& s) {
            s.send("220 ready\r\n");
            s.readLine();
            s.send("hello there\r\n");
            s.readLine(500);
        });
        TNMFTP ftp;
        prepare(ftp, server.port());
        EXPECT_THROW(ftp.Connect(), FTPException);
        EXPECT_FALSE(ftp.Connected());
    }
}

TEST(FtpReplies, UserAnsweredWith230NeedsNoPassword) {
    std::vector<std::string> got;
    ScriptedServer server([&](ScriptSession& s) {
        s.send("220 ready\r\n");
        got.push_back(s.readLine());
        s.send("230 no password needed\r\n");
        got.push_back(s.readLine());
        s.send("221 bye\r\n");
    });
    TNMFTP ftp;
    prepare(ftp, server.port());
    ftp.Proxy = "";
    ftp.Connect();
    ftp.Disconnect();
    EXPECT_EQ(got, (std::vector<std::string>{"USER u", "QUIT"}));
}

TEST(FtpTransfers, FinalErrorReplyIsAFailureNotASuccess) {
    TempDir dir;
    const std::string page = dir.file("index.html");
    writeFile(page, "<HTML>page</HTML>");
    std::string stored;
    ScriptedServer server(transferSession([&](ScriptSession& s) {
        s.send("150 go\r\n");
        stored = s.receiveData();
        s.closeData();
        s.send("452 disk full\r\n");
    }));
    TNMFTP ftp;
    prepare(ftp, server.port());
    ftp.Connect();
    bool success = false;
    ftp.OnSuccess = [&](TCmdType) { success = true; };
    try {
        ftp.Upload(page, "index.html");
        FAIL();
    } catch (const FTPException& e) {
        EXPECT_STREQ(e.what(), "452 disk full\r\n");
    }
    EXPECT_FALSE(success);
    EXPECT_EQ(stored, "<HTML>page</HTML>");
    EXPECT_FALSE(ftp.DataSocket());
    ftp.Disconnect();
}

TEST(FtpTransfers, StrangerOnTheDataPortIsTurnedAway) {
    std::string strangerGot = "unset";
    std::string port;
    int stranger = -1;
    ScriptedServer server(session([&](ScriptSession& s, const std::string& line) {
        if (line.starts_with("PORT")) {
            s.send("200 ok\r\n");
            port = line;
            // Someone else on the machine connects first, from another address.
            stranger = s.connectData(line, "127.0.0.2");
        } else if (line == "LIST") {
            s.send("150 listing\r\n");
            if (stranger >= 0) {
                char buf[16];
                pollfd p{stranger, POLLIN, 0};
                strangerGot =
                    ::poll(&p, 1, 3000) == 1 && ::recv(stranger, buf, sizeof buf, 0) <= 0 ? "closed" : "open";
                ::close(stranger);
            }
            s.openData(port);
            s.sendData("-rw-r--r-- 1 u g 5 Jan 1 00:00 index.html\r\n");
            s.closeData();
            s.send("226 done\r\n");
        } else {
            s.send("200 ok\r\n");
        }
    }));
    EXPECT_EQ(listedLines(server.port()),
              (std::vector<std::string>{"-rw-r--r-- 1 u g 5 Jan 1 00:00 index.html"}));
    EXPECT_EQ(strangerGot, "closed");
}

TEST(FtpTransfers, LastListingLineWithoutLineEndIsDelivered) {
    ScriptedServer server(transferSession([&](ScriptSession& s) {
        s.send("150 listing\r\n");
        s.sendData("a\r\nb\nlast");
        s.closeData();
        s.send("226 done\r\n");
    }));
    // A line of two characters keeps its line end; the last line keeps its last letter.
    EXPECT_EQ(listedLines(server.port()), (std::vector<std::string>{"a", "b\n", "last"}));
}

TEST(FtpTransfers, ServerThatNeverConnectsBackTimesOut) {
    ScriptedServer server(session([&](ScriptSession& s, const std::string& line) {
        s.send(line == "LIST" ? "150 listing\r\n" : "200 ok\r\n");
    }));
    TNMFTP ftp;
    prepare(ftp, server.port(), 400);
    ftp.Connect();
    EXPECT_THROW(ftp.List(), ESockError);
    EXPECT_FALSE(ftp.DataSocket());
}

// A cancelled download leaves its "426" behind; the next command must get its own answer.
TEST(FtpTransfers, CancelledTransferDoesNotShiftTheReplies) {
    TempDir dir;
    const std::string target = dir.file("index.html");
    writeFile(target, "keep me");
    ScriptedServer server(transferSession([&](ScriptSession& s) {
        s.send("150 sending (100000 bytes)\r\n");
        s.sendData(std::string(50000, 'x'));
        // Stall; the client cancels; only later comes the reply for the transfer.
        ::usleep(1500 * 1000);
        s.closeData();
        s.send("426 aborted\r\n");
    }));
    TNMFTP ftp;
    prepare(ftp, server.port());
    ftp.Connect();
    bool success = false;
    ftp.OnSuccess = [&](TCmdType) { success = true; };
    ftp.OnPacketRecvd = [&](QObject*) {
        if (ftp.DataSocket() && ftp.DataSocket()->BytesRecvd() >= 50000)
            ftp.Abort();
    };
    EXPECT_THROW(ftp.Download("index.html", target), EAbortError);
    EXPECT_FALSE(success);
    EXPECT_EQ(readFile(target), "keep me");
    ftp.OnSuccess = nullptr;
    ftp.DoCommand("CWD docs");
    EXPECT_EQ(ftp.LastReply(), "200 CWD docs\r\n");
    ftp.Disconnect();
}

// The documented order of a download's events, and the proxy form of USER.
TEST(FtpTransfers, DownloadEventOrderAndProxyLogIn) {
    TempDir dir;
    std::string user;
    ScriptedServer server([&](ScriptSession& s) {
        s.send("220 proxy ready\r\n");
        user = s.readLine();
        s.send("331 password\r\n");
        s.readLine();
        s.send("230 in\r\n");
        const std::string port = s.readLine();
        s.send("200 ok\r\n");
        s.readLine(); // RETR
        s.send("150-Opening data connection\r\n150 for page.html (10 bytes)\r\n");
        s.openData(port);
        s.sendData("0123456789");
        s.closeData();
        s.send("226 done\r\n");
        s.readLine();
        s.send("221 bye\r\n");
    });
    TNMFTP ftp;
    ftp.Host = "ftp.example.net";
    ftp.Proxy = "127.0.0.1";
    ftp.ProxyPort = server.port();
    ftp.UserID = "author";
    ftp.Password = "secret";
    ftp.TimeOut = 5000;
    std::vector<std::string> events;
    ftp.ReportLevel = 1;
    ftp.OnStatus = [&](QObject*, const std::string& s) { events.push_back(s); };
    ftp.OnTransactionStart = [&](QObject*) { events.push_back("<start>"); };
    ftp.OnTransactionStop = [&](QObject*) { events.push_back("<stop>"); };
    ftp.OnPacketRecvd = [&](QObject*) {
        if (events.back() != "<packet>")
            events.push_back("<packet>");
    };
    ftp.OnSuccess = [&](TCmdType t) { events.push_back("<success " + std::to_string(int(t)) + ">"); };
    ftp.Connect();
    EXPECT_EQ(user, "USER author@ftp.example.net");
    events.clear();
    ftp.Download("page.html", dir.file("page.html"));
    EXPECT_EQ(readFile(dir.file("page.html")), "0123456789");
    ASSERT_GE(events.size(), 10u);
    EXPECT_TRUE(events[0].starts_with("PORT 127,0,0,1,"));
    const std::vector<std::string> rest(events.begin() + 1, events.end());
    EXPECT_EQ(rest,
              (std::vector<std::string>{"200 ok\r\n", "RETR page.html", "150-Opening data connection\r\n",
                                        "150 for page.html (10 bytes)\r\n", "<start>", "<packet>", "<stop>",
                                        "Received 10 Bytes", "226 done\r\n", "<success 8>"}));
    ftp.Disconnect();
}

// The server ends a transfer with 426 (or drops out with 421): a failure, never a success.
TEST(FtpTransfers, ServerAbortEndsTheTransferAsAFailure) {
    struct Case {
        std::string reply;
        bool afterClose; // sent while the client already waits for the final reply
    };
    for (const auto& [reply, afterClose] :
         {Case{"426 Connection closed; transfer aborted.\r\n", false}, Case{"421 Service closing\r\n", false},
          Case{"426 Connection closed; transfer aborted.\r\n", true}}) {
        TempDir dir;
        const std::string target = dir.file("index.html");
        writeFile(target, "keep me");
        ScriptedServer server(transferSession([&](ScriptSession& s) {
            s.send("150 sending\r\n");
            s.sendData("partial");
            if (afterClose) {
                s.closeData();
                ::usleep(200 * 1000);
                s.send(reply);
            } else {
                s.send(reply);
                ::usleep(100 * 1000);
                s.closeData();
            }
        }));
        TNMFTP ftp;
        prepare(ftp, server.port());
        ftp.Connect();
        bool success = false;
        ftp.OnSuccess = [&](TCmdType) { success = true; };
        try {
            ftp.Download("index.html", target);
            ADD_FAILURE() << "no failure for " << reply;
        } catch (const FTPException& e) {
            EXPECT_EQ(e.what(), reply);
        } catch (const std::exception& e) {
            // Cancelled before the data arrived: the socket layer's abort.
            EXPECT_STREQ(e.what(), "Socket send aborted") << reply;
        }
        EXPECT_FALSE(success) << reply;
        EXPECT_EQ(readFile(target), "keep me");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    }
}

TEST(FtpReplies, BytewiseRepliesAndOverlongLines) {
    ScriptedServer server([&](ScriptSession& s) {
        for (char c : std::string("220-one\r\n220 two\r\n")) {
            s.send(std::string(1, c));
            ::usleep(200);
        }
        s.readLine();
        for (char c : std::string("230 logged in\r\n"))
            s.send(std::string(1, c));
        s.readLine();
        s.send("200 " + std::string(2 << 20, 'x')); // no line end within the limit
        s.readLine(1000);
    });
    TNMFTP ftp;
    prepare(ftp, server.port());
    ftp.Connect();
    EXPECT_EQ(ftp.LastReply(), "230 logged in\r\n");
    try {
        ftp.DoCommand("NOOP");
        FAIL();
    } catch (const ESockError& e) {
        EXPECT_STREQ(e.what(), "Line too long");
    }
}

TEST(FtpReplies, RefusedLogInIsReportedEvenWhenQuitFails) {
    ScriptedServer server([&](ScriptSession& s) {
        s.send("220 ready\r\n");
        s.readLine();
        s.send("331 password\r\n");
        s.readLine();
        s.send("530 Login incorrect.\r\n");
        s.readLine(); // QUIT
        s.send("500 What?\r\n");
    });
    TNMFTP ftp;
    prepare(ftp, server.port());
    bool failedEvent = false;
    ftp.OnConnectionFailed = [&](QObject*) { failedEvent = true; };
    try {
        ftp.Connect();
        FAIL();
    } catch (const FTPException& e) {
        EXPECT_STREQ(e.what(), "530 Login incorrect.\r\n");
    }
    EXPECT_TRUE(failedEvent);
    EXPECT_FALSE(ftp.Connected());
}

// Found in review: replies that arrive early or in unusual places.
TEST(FtpReplies, AClosingReplyToACommandIsShownAsTheServerSentIt) {
    ScriptedServer server([](ScriptSession& s) {
        s.send("220 ready\r\n");
        s.readLine();
        s.send("421 Too many connections from your address\r\n");
        s.readLine(500);
    });
    expectLogInRefused(server.port(), "421 Too many connections from your address\r\n");
}

TEST(FtpTransfers, ErrorWhileWaitingForTheDataConnectionEndsTheWait) {
    TempDir dir;
    const std::string page = dir.file("index.html");
    writeFile(page, "page");
    ScriptedServer server(session([&](ScriptSession& s, const std::string& line) {
        if (line.starts_with("STOR")) {
            s.send("150 Opening data connection\r\n");
            ::usleep(100 * 1000);
            s.send("425 Can't open data connection\r\n"); // and never connects
        } else {
            s.send("200 ok\r\n");
        }
    }));
    TNMFTP ftp;
    prepare(ftp, server.port(), 60000);
    ftp.Connect();
    try {
        ftp.Upload(page, "index.html");
        FAIL();
    } catch (const FTPException& e) {
        EXPECT_STREQ(e.what(), "425 Can't open data connection\r\n");
    }
    ftp.DoCommand("NOOP");
    EXPECT_EQ(ftp.LastReply(), "200 ok\r\n");
    ftp.Disconnect();
}

TEST(FtpTransfers, HandledFinalErrorStillKeepsTheLocalFileAndIsNoSuccess) {
    TempDir dir;
    const std::string target = dir.file("index.html");
    writeFile(target, "keep me");
    ScriptedServer server(transferSession([&](ScriptSession& s) {
        s.send("150 sending\r\n");
        s.sendData("PARTIAL");
        s.closeData();
        s.send("451 Local error in processing\r\n");
    }));
    TNMFTP ftp;
    prepare(ftp, server.port());
    ftp.Connect();
    bool success = false, failure = false;
    ftp.OnSuccess = [&](TCmdType) { success = true; };
    ftp.OnFailure = [&](bool& handled, TCmdType) { failure = handled = true; };
    ftp.Download("index.html", target);
    EXPECT_TRUE(failure);
    EXPECT_FALSE(success);
    EXPECT_EQ(readFile(target), "keep me");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    ftp.Disconnect();
}

// The interrupted download's 426 comes at once: the next command must neither wait for it
// again nor lose the connection.
TEST(FtpTransfers, PromptReplyAfterACancelledDownloadIsSettled) {
    TempDir dir;
    ScriptedServer server(transferSession([&](ScriptSession& s) {
        s.send("150 sending\r\n");
        s.sendData(std::string(50000, 'x'));
        s.receiveData(); // until the client gives up
        s.closeData();
        s.send("426 aborted\r\n");
    }));
    TNMFTP ftp;
    prepare(ftp, server.port());
    ftp.Connect();
    ftp.OnPacketRecvd = [&](QObject*) { ftp.Abort(); };
    EXPECT_THROW(ftp.Download("index.html", dir.file("index.html")), EAbortError);
    ftp.OnPacketRecvd = nullptr;
    // Let the 426 arrive and sit in the buffer before the next command.
    for (QElapsedTimer t; !t.isValid() || t.elapsed() < 300;) {
        if (!t.isValid())
            t.start();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    ftp.DoCommand("TYPE A");
    EXPECT_EQ(ftp.LastReply(), "200 TYPE A\r\n");
    EXPECT_TRUE(ftp.Connected());
    ftp.Disconnect();
}

// Hostile servers: each ends in a clear error within a few time-outs, with the local file as it
// was, the receive buffer bounded and the event loop turning meanwhile.
TEST(FtpHostileServers, EndInAClearErrorWithinTheTimeOut) {
    enum class Op { Connect, List, Download };
    struct Case {
        const char* kind;
        Op op;
        ScriptedServer::Script script;
        const char* error;
    };
    // Sends `chunk` until the client closes the connection.
    auto flood = [](ScriptSession& s, const std::string& chunk) {
        while (::send(s.fd(), chunk.data(), chunk.size(), MSG_NOSIGNAL) > 0) {
        }
    };
    auto loggedIn = [](ScriptSession& s) {
        s.send("220 ready\r\n");
        s.readLine();
        s.send("230 in\r\n");
    };
    const std::vector<Case> cases = {
        {"single_bytes", Op::Connect,
         [](ScriptSession& s) {
             s.send("220 ready\r\n");
             s.readLine();
             // One byte at a time is progress, but this line never ends.
             for (int i = 0; i < 200 && ::send(s.fd(), "x", 1, MSG_NOSIGNAL) == 1; ++i)
                 ::usleep(20 * 1000);
         },
         "Connection Timed out"},
        {"long_line", Op::Connect,
         [&](ScriptSession& s) {
             s.send("220 ready\r\n");
             s.readLine();
             flood(s, "230 " + std::string(8 << 20, 'x'));
         },
         "Line too long"},
        {"endless_multiline", Op::Connect,
         [&](ScriptSession& s) {
             s.send("220 ready\r\n");
             s.readLine();
             std::string lines = "230-welcome\r\n";
             for (int i = 0; i < 4096; ++i)
                 lines += "230-and more\r\n";
             flood(s, lines);
         },
         "Connection Timed out"},
        {"silent_after_greeting", Op::Connect,
         [](ScriptSession& s) {
             s.send("220 ready\r\n");
             while (!s.readLine(3000).empty()) {
             }
         },
         "Connection Timed out"},
        {"silent_after_port", Op::List,
         [&](ScriptSession& s) {
             loggedIn(s);
             s.readLine(); // PORT, never answered
             s.readLine(3000);
         },
         "Connection Timed out"},
        {"silent_mid_transfer", Op::Download,
         [&](ScriptSession& s) {
             loggedIn(s);
             s.openData(s.readLine());
             s.send("200 ok\r\n");
             s.readLine(); // RETR
             s.send("150 sending (1000 bytes)\r\n");
             s.sendData("partial page");
             s.receiveData(); // until the client gives up
         },
         "Connection Timed out"},
        {"foreign_data_address", Op::Download,
         [&](ScriptSession& s) {
             loggedIn(s);
             const std::string port = s.readLine();
             s.send("200 ok\r\n");
             s.readLine(); // RETR
             s.send("150 sending\r\n");
             const int stranger = s.connectData(port, "127.0.0.2");
             ScriptSession::sendAll(stranger, "planted page");
             s.readLine(3000);
             ::close(stranger);
         },
         "Connection Timed out"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        TempDir dir;
        const std::string local = dir.file("index.html");
        writeFile(local, "keep me");
        ScriptedServer server(c.script);
        TNMFTP ftp;
        prepare(ftp, server.port(), 300);
        std::size_t buffered = 0;
        auto watcher = ftp.OnDataArrived;
        ftp.OnDataArrived = [&](QObject* sender) {
            buffered = std::max(buffered, ftp.ReceiveStream().size());
            watcher(sender);
        };
        QElapsedTimer clock;
        clock.start();
        GuiGapProbe probe;
        std::string error = "no error";
        try {
            ftp.Connect();
            if (c.op == Op::List)
                ftp.List();
            else if (c.op == Op::Download)
                ftp.Download("index.html", local);
        } catch (const std::exception& e) {
            error = e.what();
        }
        const qint64 gap = probe.stop();
        EXPECT_EQ(error, c.error);
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_LT(gap, 1000);
        EXPECT_LE(buffered, kReceiveLimit + kBlockSize);
        EXPECT_FALSE(ftp.DataSocket());
        EXPECT_EQ(readFile(local), "keep me");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
        try {
            ftp.Disconnect(); // closes what is left, whatever the server says
        } catch (const std::exception&) {
        }
        reportHostileCase(c.kind, gap);
    }
}

// A command whose answer timed out: the late answer is not taken for the next command's.
TEST(FtpHostileServers, LateReplyAfterATimeOutIsNotTakenForTheNextOne) {
    ScriptedServer server([](ScriptSession& s) {
        s.send("220 ready\r\n");
        s.readLine();
        s.send("230 in\r\n");
        s.readLine();          // PORT
        ::usleep(2000 * 1000); // well past the time-out, even on a loaded machine
        s.send("200 PORT at last\r\n");
        while (true) {
            const std::string line = s.readLine();
            if (line.empty())
                return;
            s.send("200 " + line + "\r\n");
        }
    });
    TNMFTP ftp;
    prepare(ftp, server.port(), 1000);
    ftp.Connect();
    EXPECT_THROW(ftp.List(), ESockError);
    ftp.DoCommand("NOOP");
    EXPECT_EQ(ftp.LastReply(), "200 NOOP\r\n");
    ftp.Disconnect();
}

// A download is complete only with the size the server gave: SIZE in binary type, else the
// "(N bytes)" of its 150 reply. One that the server calls done ("226") with fewer bytes never
// replaces the local file; without either size the server's "226" decides as before.
TEST(FtpTransfers, DownloadIsCompleteOnlyWithTheAnnouncedSize) {
    struct Case {
        const char* name;
        bool binary;
        std::string sizeReply; // the answer to SIZE
        std::string opening;   // the 150 reply
        std::size_t sent;
        std::uint64_t expected; // 0: the download is complete
    };
    const std::string counted = "150 Opening BINARY mode data connection for index.html (1000 bytes).\r\n";
    const std::vector<Case> cases = {
        {"600 of SIZE 1000", true, "213 1000\r\n", "150 go\r\n", 600, 1000},
        {"empty after SIZE 1000", true, "213 1000\r\n", "150 go\r\n", 0, 1000},
        {"SIZE refused, 600 of the 150 count", true, "502 SIZE not implemented\r\n", counted, 600, 1000},
        {"text type: no SIZE, 600 of the 150 count", false, "", counted, 600, 1000},
        {"binary: more than SIZE", true, "213 500\r\n", "150 go\r\n", 600, 500},
        {"no SIZE and no count", true, "550 Not a plain file\r\n", "150 12.3 kbytes to download\r\n", 600, 0},
        {"SIZE 600 decides over the 150 count", true, "213 600\r\n", counted, 600, 0},
        {"text type: line ends grew past the count", false, "", "150 x (500 bytes)\r\n", 600, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string target = dir.file("index.html");
        writeFile(target, "keep me");
        const std::string content(c.sent, 'p');
        std::vector<std::string> commands;
        ScriptedServer server(session([&](ScriptSession& s, const std::string& line) {
            commands.push_back(line);
            if (line.starts_with("SIZE")) {
                s.send(c.sizeReply);
            } else if (line.starts_with("PORT")) {
                s.send("200 ok\r\n");
                s.openData(line);
            } else if (line.starts_with("RETR")) {
                s.send(c.opening);
                s.sendData(content);
                s.closeData();
                s.send("226 Transfer complete\r\n");
            } else {
                s.send("200 " + line + "\r\n");
            }
        }));
        TNMFTP ftp;
        prepare(ftp, server.port());
        ftp.Connect();
        ftp.SetTransferType(c.binary ? 2 : 1);
        bool success = false;
        ftp.OnSuccess = [&](TCmdType t) { success = t == TCmdType::cmdDownload; };
        try {
            ftp.Download("index.html", target);
            EXPECT_EQ(c.expected, 0u) << "taken for complete";
            EXPECT_TRUE(success);
            EXPECT_TRUE(readFile(target) == content);
        } catch (const EIncompleteDownload& e) {
            EXPECT_EQ(e.Expected(), c.expected);
            EXPECT_EQ(e.Received(), c.sent);
            EXPECT_EQ(e.what(), "Download incomplete: " + std::to_string(c.sent) + " of " +
                                    std::to_string(c.expected) + " bytes received");
            EXPECT_FALSE(success);
            EXPECT_EQ(readFile(target), "keep me");
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
        }
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "SIZE index.html"), c.binary ? 1 : 0);
        // The final reply was read: the next command gets its own.
        ftp.OnSuccess = nullptr;
        ftp.DoCommand("NOOP");
        EXPECT_EQ(ftp.LastReply(), "200 NOOP\r\n");
        ftp.Disconnect();
    }
}

// A server that closes says 421 however its reply is cut into TCP segments: the reply line is
// the error shown, never the socket's "Socket readln aborted".
TEST(FtpReplies, A421InTwoSegmentsIsReportedWithTheServersText) {
    for (const std::string head : {"42", "421", "421 ", "421 Service clo"}) {
        SCOPED_TRACE(head);
        ScriptedServer server(session([&](ScriptSession& s, const std::string&) {
            s.send(head);
            ::usleep(150 * 1000); // the client sees the first segment alone
            s.send(std::string("421 Service closing control connection\r\n").substr(head.size()));
            ::shutdown(s.fd(), SHUT_WR);
        }));
        TNMFTP ftp;
        prepare(ftp, server.port());
        ftp.Connect();
        try {
            ftp.DoCommand("NOOP");
            ADD_FAILURE() << "no failure";
        } catch (const FTPException& e) {
            EXPECT_STREQ(e.what(), "421 Service closing control connection\r\n");
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
        }
        EXPECT_EQ(ftp.ReplyNumber(), 421);
    }
}

// The client sends no ABOR: a transfer it cancels leaves the server's final reply to come, and
// the next command first waits for that reply and drains it, so that it gets its own answer.
TEST(FtpTransfers, ACancelledTransferLeavesItsReplyForTheNextCommandToDrain) {
    TempDir dir;
    const std::string page = dir.file("index.html");
    writeFile(page, std::string(8 << 20, 'p'));
    for (const bool upload : {true, false}) {
        SCOPED_TRACE(upload ? "upload" : "list");
        std::vector<std::string> commands;
        ScriptedServer server(session([&](ScriptSession& s, const std::string& line) {
            commands.push_back(line);
            if (line.starts_with("PORT")) {
                s.send("200 ok\r\n");
                s.openData(line);
            } else if (line.starts_with("STOR") || line == "LIST") {
                s.send("150 go\r\n");
                if (!upload)
                    s.sendData("-rw-r--r-- 1 u g 5 Jan 1 00:00 a.html\r\n");
                s.receiveData(); // until the client gives up
                s.closeData();
                ::usleep(400 * 1000); // long after the client's next command went out
                s.send("426 Connection closed; transfer aborted.\r\n");
            } else {
                s.send("200 " + line + "\r\n");
            }
        }));
        TNMFTP ftp;
        prepare(ftp, server.port());
        ftp.Connect();
        ftp.OnPacketSent = [&](QObject*) { ftp.Abort(); };
        ftp.OnListItem = [&](const std::string&) { ftp.Abort(); };
        if (upload)
            EXPECT_THROW(ftp.Upload(page, "index.html"), EAbortError);
        else
            EXPECT_THROW(ftp.List(), EAbortError);
        EXPECT_FALSE(ftp.DataSocket());
        EXPECT_EQ(ftp.ProtocolState(), FtpState::ReplyOwed);
        ftp.OnPacketSent = nullptr;
        ftp.OnListItem = nullptr;
        ftp.DoCommand("NOOP");
        EXPECT_EQ(ftp.LastReply(), "200 NOOP\r\n");
        EXPECT_EQ(ftp.ProtocolState(), FtpState::Ready);
        ftp.DoCommand("PWD");
        EXPECT_EQ(ftp.LastReply(), "200 PWD\r\n");
        ftp.Disconnect();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "ABOR"), 0);
    }
}

// A site that requires TLS and a server that does not offer it: the connect ends before the
// user name, let alone the password, is sent, and says why.
TEST(FtpSecurity, TlsRequiredAgainstAServerWithoutTlsSendsNoPassword) {
    struct Case {
        const char* name;
        std::string authReply; // what follows the AUTH TLS
        bool refused;          // ESecurityRefused, else the handshake fails
    };
    const std::vector<Case> cases = {
        {"AUTH unknown", "500 'AUTH TLS': command not understood\r\n", true},
        {"AUTH refused", "534 Policy requires SSL\r\n", true},
        {"AUTH taken, then clear text", "234 go ahead\r\n", false},
        {"injected after 234", "234 go ahead\r\n331 password please\r\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> received;
        ScriptedServer server([&](ScriptSession& s) {
            s.send("220 plain FTP only\r\n");
            for (std::string line; !(line = s.readLine(1500)).empty();) {
                received.push_back(line);
                if (line == "AUTH TLS")
                    s.send(c.authReply);
                else if (line == "QUIT")
                    s.send("221 bye\r\n");
                else
                    s.send("530 Please login with USER and PASS\r\n"); // a ClientHello, say
            }
        });
        TNMFTP ftp;
        prepare(ftp, server.port());
        ftp.UseTls = true;
        ftp.Password = "secret";
        bool asked = false;
        ftp.OnUntrustedCertificate = [&](const quillet::platform::CertificateInfo&) { return asked = true; };
        try {
            ftp.Connect();
            ADD_FAILURE() << "connected";
        } catch (const ESecurityRefused& e) {
            EXPECT_TRUE(c.refused) << e.what();
            EXPECT_EQ(e.RefusedStep(), ESecurityRefused::Step::Auth);
            EXPECT_EQ(e.Reply(), c.authReply);
        } catch (const ETlsError& e) {
            EXPECT_FALSE(c.refused) << e.what();
        }
        EXPECT_FALSE(ftp.Connected());
        EXPECT_FALSE(asked);
        EXPECT_EQ(ftp.ProtocolState(), FtpState::Disconnected);
        for (const std::string& line : received) {
            EXPECT_FALSE(line.starts_with("USER")) << line;
            EXPECT_EQ(line.find("secret"), std::string::npos) << line;
        }
    }
}

// Names go out in the encoding the server's FEAT reply chooses, and one that encoding cannot
// hold is refused before any command carries it.
TEST(FtpNames, FeatDecidesTheEncodingOfNamesOnTheWire) {
    TempDir dir;
    const std::string japanese = dir.file("表日記.html");
    const std::string emoji = dir.file("日記😀.html");
    writeFile(japanese, "page");
    writeFile(emoji, "page");
    struct Case {
        const char* name;
        std::string feat;
        std::string expectedStor; // of the Japanese name
        bool emojiGoes;           // the server takes names CP932 cannot hold
    };
    const std::vector<Case> cases = {
        {"UTF8 listed", "211-Features:\r\n SIZE\r\n UTF8\r\n211 End\r\n", "STOR 表日記.html", true},
        {"no UTF8", "211-Features:\r\n SIZE\r\n MDTM\r\n211 End\r\n", "STOR \x95\x5c\x93\xfa\x8b\x4c.html",
         false},
        {"FEAT unknown", "500 FEAT not understood\r\n", "STOR \x95\x5c\x93\xfa\x8b\x4c.html", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> commands;
        ScriptedServer recording(session([&](ScriptSession& s, const std::string& line) {
            commands.push_back(line);
            if (line == "FEAT")
                s.send(c.feat);
            else if (!takeUpload(s, line))
                s.send("200 " + line + "\r\n");
        }));
        TNMFTP ftp;
        prepare(ftp, recording.port());
        ftp.NegotiateFeatures = true;
        ftp.Connect();
        ftp.Upload(japanese, "");
        std::vector<std::string> beforeEmoji = commands;
        if (c.emojiGoes) {
            ftp.Upload(emoji, "");
            EXPECT_EQ(commands.back(), "STOR 日記😀.html");
        } else {
            EXPECT_THROW(ftp.Upload(emoji, ""), quillet::platform::TextNotHeldError);
            ftp.DoCommand("NOOP");
            beforeEmoji.push_back("NOOP");
            EXPECT_EQ(commands, beforeEmoji); // nothing went out for the refused name
        }
        ftp.Disconnect();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "FEAT"), 1);
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "OPTS UTF8 ON"), c.emojiGoes ? 1 : 0);
        EXPECT_NE(std::find(commands.begin(), commands.end(), c.expectedStor), commands.end());
    }
}

// After a binary upload the server's size must be the bytes sent; a server that cannot say
// (no SIZE, or a folder one may write but not read) leaves the upload unchecked.
TEST(FtpTransfers, UploadIsCheckedWithTheServersSize) {
    TempDir dir;
    const std::string page = dir.file("index.html");
    writeFile(page, std::string(5000, 'p'));
    struct Case {
        const char* name;
        std::string sizeReply;
        bool mismatch;
    };
    const std::vector<Case> cases = {
        {"the same size", "213 5000\r\n", false},
        {"cut short on the server", "213 4096\r\n", true},
        {"more on the server", "213 5001\r\n", true},
        {"not readable there", "550 Permission denied\r\n", false},
        {"no SIZE after all", "502 Command not implemented\r\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server(session([&](ScriptSession& s, const std::string& line) {
            if (line == "FEAT")
                s.send("211-Features:\r\n SIZE\r\n211 End\r\n");
            else if (line.starts_with("SIZE"))
                s.send(c.sizeReply);
            else if (!takeUpload(s, line))
                s.send("200 " + line + "\r\n");
        }));
        TNMFTP ftp;
        prepare(ftp, server.port());
        ftp.NegotiateFeatures = true;
        ftp.Connect();
        ftp.SetTransferType(2);
        bool success = false;
        ftp.OnSuccess = [&](TCmdType t) { success = t == TCmdType::cmdUpload; };
        try {
            ftp.Upload(page, "index.html");
            EXPECT_FALSE(c.mismatch);
        } catch (const EUploadMismatch& e) {
            EXPECT_TRUE(c.mismatch);
            EXPECT_EQ(e.Sent(), 5000u);
            EXPECT_EQ(e.Held(), *sizeFromReply(c.sizeReply));
        }
        EXPECT_EQ(success, !c.mismatch);
        ftp.OnSuccess = nullptr;
        ftp.DoCommand("NOOP");
        EXPECT_EQ(ftp.LastReply(), "200 NOOP\r\n");
        ftp.Disconnect();
    }
}
