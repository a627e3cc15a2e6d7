#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <atomic>
#include <sys/stat.h>

#include "../document/temp_dir.h"
#include "../ftp/ftp_servers.h"
#include "../ftp/gui_gap.h"
#include "../net/test_certificates.h"
#include "dialogs/certificate_dialog.h"
#include "dialogs/site_dialog.h"
#include "document/page_lock.h"
#include "main/main_window.h"
#include "net/ftp_client.h"
#include "platform/codepage.h"
#include "test_prompter.h"

using namespace quillet;
using namespace quillet::testing;
using ui::TFormQuillet;

namespace {
const std::string kPage = "<HTML>\r\n<!-INS-!>\r\n</BODY>\r\n</HTML>\r\n";

// A server for the window: log-in, PORT, an empty listing and QUIT, unless `handle` takes the
// command (it gets the last PORT line). The commands it got are recorded.
using CommandHandler = std::function<bool(ScriptSession&, const std::string& line, const std::string& port)>;
ScriptedServer::Script publishServer(std::vector<std::string>& commands, CommandHandler handle) {
    return [&commands, handle](ScriptSession& s) {
        s.send("220 ready\r\n");
        std::string port;
        for (std::string line; !(line = s.readLine(8000)).empty();) {
            commands.push_back(line);
            if (handle(s, line, port)) {
            } else if (line.starts_with("USER")) {
                s.send("331 pass\r\n");
            } else if (line.starts_with("PASS")) {
                s.send("230 in\r\n");
            } else if (line.starts_with("PORT")) {
                s.send("200 ok\r\n");
                port = line;
            } else if (line == "LIST") {
                s.openData(port);
                s.send("150 list\r\n");
                s.closeData();
                s.send("226 done\r\n");
            } else if (line == "QUIT") {
                s.send("221 bye\r\n");
                return;
            } else {
                s.send("200 " + line + "\r\n");
            }
        }
    };
}

// For RETR or STOR: `start` on an open data connection, then a stall until the client gives up,
// then "426".
ScriptedServer::Script stallingServer(std::vector<std::string>& commands,
                                      std::function<void(ScriptSession&)> start) {
    return publishServer(commands,
                         [start](ScriptSession& s, const std::string& line, const std::string& port) {
                             if (!line.starts_with("RETR") && !line.starts_with("STOR"))
                                 return false;
                             s.openData(port);
                             start(s);
                             s.receiveData(); // until the client gives up
                             s.closeData();
                             s.send("426 aborted\r\n");
                             return true;
                         });
}

class PublishTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.SettingsPath = QString::fromStdString(dir.file("quillet.ini"));
        window.EditHtml->setText(QString::fromStdString(page));
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        writeFile(page, kPage);
    }
    void writeSite(int port, const std::string& user = "author", const std::string& password = "secret") {
        writeFile(dir.file("quillet.ini"), "\"test\",\"127.0.0.1\",\"" + std::to_string(port) + "\",\"" +
                                               user + "\",\"" + password + "\",\"\",\"\",\"\"\r\n");
    }
    // Presses "接続" and picks the first site in the dialog.
    void connectToFirstSite() {
        bool picked = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<ui::TFormLogin*>(QApplication::activeModalWidget());
            ASSERT_TRUE(dialog);
            QListWidget* list = dialog->ListBox1;
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(list->item(0)).center());
            QTest::mouseClick(dialog->ButtonOK, Qt::LeftButton);
            picked = true;
        });
        QTest::mouseClick(window.SpeedButtonCON, Qt::LeftButton);
        EXPECT_TRUE(picked);
    }
    void click(QToolButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
    bool looksConnected() const {
        return !window.SpeedButtonCON->isEnabled() && window.SpeedButtonDIS->isEnabled() &&
               window.SpeedButtonUP->isEnabled() && window.SpeedButtonDN->isEnabled();
    }
    bool looksDisconnected() const {
        return window.SpeedButtonCON->isEnabled() && !window.SpeedButtonDIS->isEnabled() &&
               !window.SpeedButtonUP->isEnabled() && !window.SpeedButtonDN->isEnabled();
    }

    TestPrompter prompter;
    TempDir dir;
    TempDir root;
    std::string page = dir.file("index.html");
    TFormQuillet window;
};
} // namespace

TEST_F(PublishTest, ConnectUploadChangeDownloadAndUndo) {
    PyFtpServer server(root.path(), "author", "secret", true);
    writeSite(server.port());
    connectToFirstSite();
    ASSERT_TRUE(window.NMFTP1->Connected()) << window.statusText().toStdString() << " host "
                                            << window.NMFTP1->Host << " port " << window.NMFTP1->Port;
    EXPECT_TRUE(looksConnected());
    EXPECT_EQ(window.statusText(), "Connected");
    const auto commands = server.commands();
    ASSERT_GE(commands.size(), 5u);
    EXPECT_EQ(commands[0], "USER author");
    EXPECT_EQ(commands[1], "PASS ******");
    EXPECT_EQ(commands[2], "TYPE A");
    EXPECT_TRUE(commands[3].starts_with("PORT 127,0,0,1,"));
    EXPECT_EQ(commands[4], "LIST");
    EXPECT_EQ(window.NMFTP1->TimeOut, 180000);

    window.EditURL->setText("index.html");
    click(window.SpeedButtonUP);
    EXPECT_EQ(window.statusText(), "Ready");
    // TYPE I: the server's copy is the page byte for byte.
    EXPECT_EQ(readFile((root.path() / "index.html").string()), kPage);

    const std::string changed = kPage + "changed\r\n";
    writeFile(page, changed);
    click(window.SpeedButtonDN);
    EXPECT_EQ(window.statusText(), "Ready");
    EXPECT_EQ(readFile(page), kPage);
    // The page as it was is the backup, so Undo brings it back.
    EXPECT_EQ(readFile(dir.file("index.BAK")), changed);
    click(window.SpeedButtonCANCEL);
    EXPECT_EQ(readFile(page), changed);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);

    click(window.SpeedButtonDIS);
    EXPECT_FALSE(window.NMFTP1->Connected());
    EXPECT_TRUE(looksDisconnected());
    EXPECT_EQ(window.statusText(), "not connected");
    // The server logs from its own process: its last line may come a moment after the reply.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const auto seen = server.commands();
            return !seen.empty() && seen.back() == "QUIT";
        },
        5000))
        << server.commands().back();
    EXPECT_TRUE(prompter.asked.empty());
}

// Transfers are binary: whatever line ends and bytes the page holds, the server keeps them, and a
// download gives back exactly what was uploaded (a text-type server may drop bare CRs, which
// would merge an entry's marker lines).
TEST_F(PublishTest, UploadThenDownloadGivesThePageBackByteForByte) {
    PyFtpServer server(root.path(), "author", "secret", true);
    writeSite(server.port());
    connectToFirstSite();
    ASSERT_TRUE(window.NMFTP1->Connected());
    const std::string odd = "<HTML>\r\n<!-INS-!>\r\n<!-TTL-A-!>\r<!-TTL-B-!>\rbare CR\rLF only\nline\n"
                            "\x1a after Ctrl-Z\r\n\x93\xfa\x8b\x4c \x95\x5c \x80\xa0\xfd\xfe\xff\r\n"
                            "</HTML>";
    writeFile(page, odd);
    window.EditURL->setText("index.html");
    click(window.SpeedButtonUP);
    EXPECT_EQ(window.statusText(), "Ready");
    EXPECT_TRUE(readFile((root.path() / "index.html").string()) == odd);

    writeFile(page, kPage);
    click(window.SpeedButtonDN);
    EXPECT_EQ(window.statusText(), "Ready");
    EXPECT_TRUE(readFile(page) == odd);
    EXPECT_TRUE(prompter.asked.empty());
    // The log-in's listing may stay in text type; each transfer of the page asks for binary.
    std::vector<std::string> commands = server.commands();
    std::vector<std::string> types;
    for (const std::string& c : commands)
        if (c.starts_with("TYPE") || c.starts_with("STOR") || c.starts_with("RETR"))
            types.push_back(c);
    EXPECT_EQ(types,
              (std::vector<std::string>{"TYPE A", "TYPE I", "STOR index.html", "TYPE I", "RETR index.html"}));
}

TEST_F(PublishTest, RefusedDownloadLeavesThePageAndShowsTheReply) {
    PyFtpServer server(root.path());
    writeSite(server.port());
    connectToFirstSite();
    window.EditURL->setText("missing.html");
    click(window.SpeedButtonDN);
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_TRUE(prompter.asked[0].text.startsWith("550 ")) << prompter.asked[0].text.toStdString();
    EXPECT_EQ(window.statusText(), "Download missing.html");
    EXPECT_EQ(readFile(page), kPage);
    EXPECT_FALSE(exists(dir.file("index.BAK")));
    EXPECT_TRUE(looksConnected());
}

TEST_F(PublishTest, FailedConnectSaysWhyInTheStatusBar) {
    // A port that is bound but not listening refuses connections.
    const int bound = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(bound, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    ::getsockname(bound, reinterpret_cast<sockaddr*>(&a), &len);
    const int closedPort = ntohs(a.sin_port);
    writeSite(closedPort);
    connectToFirstSite();
    EXPECT_FALSE(window.NMFTP1->Connected());
    EXPECT_TRUE(looksDisconnected());
    EXPECT_EQ(window.statusText(), ui::texts::ConnectRefused);
    EXPECT_TRUE(prompter.asked.empty());

    // Cancelling the dialog changes nothing.
    window.setStatusText("before");
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<ui::TFormLogin*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    click(window.SpeedButtonCON);
    EXPECT_EQ(window.statusText(), "before");
    EXPECT_TRUE(looksDisconnected());
    ::close(bound);
}

// The status bar follows the command at hand: a connect says so while it waits, a log-in the
// author stopped says that in Japanese, and a name that cannot be sent leaves the upload's text,
// not the previous command's.
TEST_F(PublishTest, StatusBarFollowsAConnectAndItsCancel) {
    std::vector<std::string> commands;
    std::atomic<bool> userSeen = false;
    ScriptedServer server(
        publishServer(commands, [&](ScriptSession& s, const std::string& line, const std::string&) {
            if (!line.starts_with("USER"))
                return false;
            userSeen = true;
            s.readLine(8000); // silent until the client gives up
            return true;
        }));
    writeSite(server.port());
    window.setStatusText("before");
    QString whileWaiting;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!userSeen || !whileWaiting.isEmpty())
            return;
        whileWaiting = window.statusText();
        QTest::mouseClick(window.findChild<QToolButton*>("ButtonCancelTransfer"), Qt::LeftButton);
    });
    watch.start(10);
    connectToFirstSite();
    watch.stop();
    // The server is silent after USER: the window says the log-in is what waits.
    EXPECT_EQ(whileWaiting, ui::texts::LoggingIn);
    EXPECT_EQ(window.statusText(), ui::texts::ConnectCanceled);
    EXPECT_TRUE(looksDisconnected());
    EXPECT_TRUE(prompter.asked.empty());
}

TEST_F(PublishTest, ProgressStandsWholeBesideALongStatusAndARefusedNameIsTheUploadsOwn) {
    std::vector<std::string> commands;
    ScriptedServer server(stallingServer(commands, [](ScriptSession& s) { s.send("150 go\r\n"); }));
    writeSite(server.port());
    connectToFirstSite();
    ASSERT_TRUE(window.NMFTP1->Connected());

    // Refused before anything is sent: the status bar says what was tried, not "Connected".
    window.EditURL->setText(QString::fromUtf8("\xF0\x9F\x98\x80.html"));
    click(window.SpeedButtonUP);
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].text,
              QStringLiteral("「ｻｲﾄ上の文書名」に Shift-JIS で表せない文字があります."));
    EXPECT_EQ(window.statusText(), QStringLiteral("Upload ") + window.EditHtml->text());

    // A long page name at the default width: the progress keeps its room, the name gives way.
    const std::string deep = dir.file(std::string(120, 'd'));
    std::filesystem::create_directory(deep);
    const std::string longPage = deep + "/index.html";
    writeFile(longPage, std::string(16 << 20, 'p'));
    window.EditHtml->setText(QString::fromStdString(longPage));
    window.EditURL->setText("index.html");
    QLabel* progress = nullptr;
    bool whole = true, statusKept = true;
    int looks = 0;
    auto shown = window.NMFTP1->OnPacketSent;
    window.NMFTP1->OnPacketSent = [&](QObject* sender) {
        shown(sender);
        for (QLabel* label : window.StatusBar1->findChildren<QLabel*>())
            if (label->text().endsWith(QStringLiteral("バイト")))
                progress = label;
        if (!progress)
            return;
        // As the count grows, its text does: it stays whole each time the bar is laid out.
        QApplication::processEvents();
        whole = whole && progress->isVisible() && progress->width() >= progress->sizeHint().width();
        statusKept = statusKept &&
                     window.statusText() == QStringLiteral("Upload ") + window.EditHtml->text() &&
                     !window.LabelEncoding->isVisible(); // its room goes to the transfer
        if (++looks == 200 || window.NMFTP1->DataSocket()->BytesSent() > (8u << 20))
            window.cancelTransfer();
    };
    click(window.SpeedButtonUP);
    window.NMFTP1->OnPacketSent = shown;
    EXPECT_EQ(window.width(), 455);
    ASSERT_TRUE(progress);
    EXPECT_TRUE(whole) << progress->text().toStdString();
    EXPECT_TRUE(statusKept);
    EXPECT_TRUE(window.LabelEncoding->isVisible());
    click(window.SpeedButtonDIS);
}

// While a transfer runs the FTP buttons are off; closing the window cancels it, the page stays
// as it was, QUIT is sent and the window closes once the transfer has unwound.
TEST_F(PublishTest, CloseDuringADownload) {
    std::vector<std::string> commands;
    ScriptedServer server(stallingServer(commands, [](ScriptSession& s) {
        s.send("150 sending (1000000 bytes)\r\n");
        s.sendData(std::string(100000, 'x'));
    }));
    writeSite(server.port());
    connectToFirstSite();
    ASSERT_TRUE(window.NMFTP1->Connected());
    window.EditURL->setText("index.html");
    bool buttonsOff = false;
    window.NMFTP1->OnPacketRecvd = [&](QObject*) {
        if (window.NMFTP1->DataSocket() && window.NMFTP1->DataSocket()->BytesRecvd() >= 100000) {
            buttonsOff = !window.SpeedButtonCON->isEnabled() && !window.SpeedButtonDIS->isEnabled() &&
                         !window.SpeedButtonUP->isEnabled() && !window.SpeedButtonDN->isEnabled();
            window.close();
            EXPECT_TRUE(window.isVisible()); // not while the transfer is on the stack
        }
    };
    click(window.SpeedButtonDN);
    EXPECT_TRUE(buttonsOff);
    QTest::qWait(50);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(readFile(page), kPage);
    EXPECT_FALSE(window.NMFTP1->Connected());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2); // page, ini
    window.NMFTP1->OnPacketRecvd = nullptr;
    // The server saw the QUIT before the window went.
    QTest::qWait(100);
    EXPECT_EQ(commands.back(), "QUIT");
}

// Esc stops a running upload; the status bar says so, and the next command gets its own reply.
TEST_F(PublishTest, EscapeCancelsAnUploadAndShowsProgressMeanwhile) {
    std::vector<std::string> commands;
    ScriptedServer server(stallingServer(commands, [](ScriptSession& s) { s.send("150 go\r\n"); }));
    writeSite(server.port());
    connectToFirstSite();
    ASSERT_TRUE(window.NMFTP1->Connected());
    writeFile(page, std::string(16 << 20, 'p'));
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    bool progressShown = false;
    auto shown = window.NMFTP1->OnPacketSent;
    window.NMFTP1->OnPacketSent = [&](QObject* sender) {
        shown(sender);
        if (!progressShown) {
            progressShown = window.findChild<QProgressBar*>()->isVisible();
            QTest::keyClick(&window, Qt::Key_Escape);
        }
    };
    click(window.SpeedButtonUP);
    EXPECT_TRUE(progressShown);
    EXPECT_TRUE(window.statusText().startsWith(QStringLiteral("アップロードを中止しました")))
        << window.statusText().toStdString();
    EXPECT_TRUE(looksConnected());
    for (const auto& a : prompter.asked)
        ADD_FAILURE() << "asked: " << a.text.toStdString();
    window.NMFTP1->OnPacketSent = shown;
    window.NMFTP1->DoCommand("NOOP");
    EXPECT_EQ(window.NMFTP1->LastReply(), "200 NOOP\r\n");
    click(window.SpeedButtonDIS);
    EXPECT_EQ(commands.back(), "QUIT");
}

// Hostile servers met through the window: each transfer ends in an error box that says what went
// wrong, the page stays byte for byte with no work file left beside it, and the window keeps
// answering while the client waits.
TEST_F(PublishTest, HostileServersEndInAnErrorAndLeaveThePage) {
    using Handler = std::function<void(ScriptSession&, const std::string& port)>;
    struct Case {
        const char* kind;
        const char* command; // the server's command the handler takes
        bool upload;
        QString remote;
        Handler handler;
        std::vector<std::string> errors; // any of these
    };
    auto flood = [](ScriptSession& s, const std::string& chunk) {
        while (::send(s.fd(), chunk.data(), chunk.size(), MSG_NOSIGNAL) > 0) {
        }
    };
    const std::string timedOut = "Connection Timed out";
    const std::string refused = "Command refused: an argument holds a line break or NUL";
    const std::vector<Case> cases = {
        {"single_bytes",
         "RETR",
         false,
         "index.html",
         [](ScriptSession& s, const std::string&) {
             for (int i = 0; i < 100 && ::send(s.fd(), "1", 1, MSG_NOSIGNAL) == 1; ++i)
                 ::usleep(20 * 1000);
         },
         {timedOut}},
        {"long_line",
         "RETR",
         false,
         "index.html",
         [&](ScriptSession& s, const std::string&) { flood(s, "150 " + std::string(8 << 20, 'x')); },
         {"Line too long"}},
        {"endless_multiline",
         "RETR",
         false,
         "index.html",
         [&](ScriptSession& s, const std::string&) {
             std::string lines = "150-here it comes\r\n";
             for (int i = 0; i < 4096; ++i)
                 lines += "150-any moment now\r\n";
             flood(s, lines);
         },
         {timedOut}},
        {"421_mid_transfer",
         "RETR",
         false,
         "index.html",
         [](ScriptSession& s, const std::string& port) {
             s.openData(port);
             s.send("150 sending\r\n");
             s.sendData("<HTML>half a page");
             s.send("421 Service closing\r\n");
             ::shutdown(s.fd(), SHUT_WR); // and goes, as a closing server does
             ::usleep(100 * 1000);
             s.closeData();
         },
         {"421 Service closing"}},
        {"silent_after_port",
         "PORT",
         true,
         "index.html",
         [](ScriptSession&, const std::string&) {},
         {timedOut}},
        {"silent_mid_transfer",
         "RETR",
         false,
         "index.html",
         [](ScriptSession& s, const std::string& port) {
             s.openData(port);
             s.send("150 sending\r\n");
             s.sendData("<HTML>half a page");
             s.receiveData(); // until the client gives up
         },
         {timedOut}},
        {"foreign_data_address",
         "RETR",
         false,
         "index.html",
         [](ScriptSession& s, const std::string& port) {
             s.send("150 sending\r\n");
             const int stranger = s.connectData(port, "127.0.0.2");
             ScriptSession::sendAll(stranger, "<HTML>planted page</HTML>");
             ::usleep(600 * 1000);
             ::close(stranger);
         },
         {timedOut}},
        {"name_cr", "RETR", false, QStringLiteral("a\rb.html"), nullptr, {refused}},
        {"name_lf", "STOR", true, QStringLiteral("a.html\nDELE index.html"), nullptr, {refused}},
        {"name_nul", "RETR", false, QString::fromUtf8("a\0b.html", 8), nullptr, {refused}},
        {"452_after_stor",
         "STOR",
         true,
         "index.html",
         [](ScriptSession& s, const std::string& port) {
             s.openData(port);
             s.send("150 go\r\n");
             s.receiveData();
             s.closeData();
             s.send("452 disk full\r\n");
         },
         {"452 disk full"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        std::vector<std::string> commands;
        std::atomic<bool> armed = false; // the log-in's own PORT and LIST go as usual
        ScriptedServer server(
            publishServer(commands, [&](ScriptSession& s, const std::string& line, const std::string& port) {
                if (!armed || !line.starts_with(c.command))
                    return false;
                if (c.handler)
                    c.handler(s, line.starts_with("PORT") ? line : port);
                return true;
            }));
        writeSite(server.port());
        connectToFirstSite();
        ASSERT_TRUE(window.NMFTP1->Connected());
        window.NMFTP1->TimeOut = 300;
        window.EditURL->setText(c.remote);
        armed = true;
        prompter.asked.clear();
        GuiGapProbe probe;
        click(c.upload ? window.SpeedButtonUP : window.SpeedButtonDN);
        const qint64 gap = probe.stop();
        ASSERT_EQ(prompter.asked.size(), 1u);
        const std::string shown = prompter.asked[0].text.toStdString();
        EXPECT_NE(std::find_if(c.errors.begin(), c.errors.end(),
                               [&](const std::string& e) { return shown.starts_with(e); }),
                  c.errors.end())
            << shown;
        EXPECT_LT(gap, 1000);
        EXPECT_EQ(readFile(page), kPage);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2); // page, ini
        for (const std::string& command : commands)
            EXPECT_TRUE(!command.starts_with("RETR a") && !command.starts_with("STOR a")) << command;
        EXPECT_TRUE(looksConnected());
        prompter.asked.clear();
        // A failing QUIT keeps the connected look; a second press only resets it.
        for (int i = 0; i < 2 && !looksDisconnected(); ++i)
            click(window.SpeedButtonDIS);
        EXPECT_TRUE(looksDisconnected());
        EXPECT_FALSE(window.NMFTP1->Connected());
        reportHostileCase(c.kind, gap);
    }
}

// A page that is a link onto another file system is downloaded beside the file it names; the
// page as it was becomes the backup only when the complete copy is installed.
TEST_F(PublishTest, DownloadIntoAPageLinkedOntoAnotherFileSystem) {
    if (::access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no /dev/shm";
    TempDir there("/dev/shm");
    struct stat here {
    }, away{};
    ::stat(dir.path().c_str(), &here);
    ::stat(there.path().c_str(), &away);
    if (here.st_dev == away.st_dev)
        GTEST_SKIP() << "/dev/shm is on the same file system as " << dir.path();
    const std::string real = there.file("diary.html");
    ::unlink(page.c_str());
    writeFile(real, kPage);
    std::filesystem::create_symlink(real, page);
    const std::string copy = "<HTML>\r<!-INS-!>\rfrom the server\r</HTML>\r"; // the same in any TYPE
    writeFile((root.path() / "index.html").string(), copy);
    PyFtpServer server(root.path());
    writeSite(server.port());
    connectToFirstSite();
    window.EditURL->setText("index.html");
    click(window.SpeedButtonDN);
    for (const auto& a : prompter.asked)
        ADD_FAILURE() << "asked: " << a.text.toStdString();
    EXPECT_EQ(window.statusText(), "Ready");
    EXPECT_TRUE(std::filesystem::is_symlink(page));
    EXPECT_EQ(readFile(real), copy);
    EXPECT_EQ(readFile(there.file("diary.BAK")), kPage);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(there.path()), {}), 2); // page, backup
}

// A copy without the marker line (empty, cut short or another page) replaces a page that has one
// only when the author says so; the default answer keeps the page.
TEST_F(PublishTest, DownloadWithoutTheMarkerLineAsksBeforeReplacing) {
    PyFtpServer server(root.path());
    writeSite(server.port());
    connectToFirstSite();
    window.EditURL->setText("index.html");
    for (const std::string& copy : {std::string(), std::string("<HTML>\r<BODY>\r</BODY>\r</HTML>\r")}) {
        writeFile((root.path() / "index.html").string(), copy);
        prompter.asked.clear();
        click(window.SpeedButtonDN);
        ASSERT_EQ(prompter.asked.size(), 1u);
        EXPECT_EQ(prompter.asked[0].kind, Asked::Confirm);
        EXPECT_EQ(prompter.asked[0].buttons, platform::Buttons::YesNoDefaultNo);
        EXPECT_TRUE(prompter.asked[0].text.contains(window.EditHtml->text()))
            << prompter.asked[0].text.toStdString();
        EXPECT_EQ(readFile(page), kPage);
        EXPECT_FALSE(exists(dir.file("index.BAK")));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2); // page, ini
        EXPECT_NE(window.statusText(), "Ready");
    }
    prompter.answers.push_back(platform::Answer::Yes);
    click(window.SpeedButtonDN);
    EXPECT_EQ(window.statusText(), "Ready");
    EXPECT_EQ(readFile(page), "<HTML>\r<BODY>\r</BODY>\r</HTML>\r");
    EXPECT_EQ(readFile(dir.file("index.BAK")), kPage);
}

// While another Quillet rewrites the page, a download stops before it starts and says why.
TEST_F(PublishTest, DownloadIntoAPageBeingRewrittenStopsWithAMessage) {
    writeFile((root.path() / "index.html").string(), "<HTML>\r<!-INS-!>\r</HTML>\r");
    PyFtpServer server(root.path());
    writeSite(server.port());
    connectToFirstSite();
    window.EditURL->setText("index.html");
    doc::setPageLockWait(std::chrono::milliseconds(50));
    {
        doc::PageLock other(page, page);
        click(window.SpeedButtonDN);
    }
    doc::setPageLockWait(std::chrono::milliseconds(5000));
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].kind, Asked::Error);
    EXPECT_EQ(prompter.asked[0].text, QStringLiteral("文書「%1」は別の Quillet が書き換えているところです。\r"
                                                     "少し待ってから、もう一度試してください。\r"
                                                     "文書は変更していません.")
                                          .arg(window.EditHtml->text()));
    EXPECT_EQ(readFile(page), kPage);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2); // page, ini
    EXPECT_TRUE(looksConnected());
}

// The real question box: "いいえ" is its default button, so Enter keeps the page.
TEST(QuestionBox, EnterAnswersNoWhereNoIsTheDefault) {
    QString defaultText;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        defaultText = box->defaultButton()->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_EQ(platform::prompter().confirm(nullptr, "replace?", platform::Buttons::YesNoDefaultNo),
              platform::Answer::No);
    EXPECT_EQ(defaultText, QStringLiteral("いいえ(&N)"));
}

namespace {
// Answers the certificate question as told and records what was asked.
class CertificateAnswers : public ui::CertificateQuestion {
public:
    explicit CertificateAnswers(bool trust) : trust_(trust) { ui::setCertificateQuestion(this); }
    ~CertificateAnswers() override { ui::setCertificateQuestion(nullptr); }
    bool trust(QWidget*, const QString& host, const platform::CertificateInfo& certificate) override {
        asked.emplace_back(host, certificate);
        return trust_;
    }
    std::vector<std::pair<QString, platform::CertificateInfo>> asked;

private:
    bool trust_;
};

std::size_t countOf(const std::vector<std::string>& commands, const std::string& prefix) {
    return static_cast<std::size_t>(std::count_if(
        commands.begin(), commands.end(), [&](const std::string& c) { return c.starts_with(prefix); }));
}
} // namespace

// A new user's whole way: a first site with the new defaults (passive, TLS required), its
// self-signed certificate trusted once and pinned in the settings file, the page published and
// fetched back byte for byte, the next connect without a question, and a changed certificate
// refused with the warning.
TEST_F(PublishTest, NewUserPublishesOverTlsInPassiveModeAndAChangedCertificateIsRefused) {
    if (!Certificates::get().ok())
        GTEST_SKIP() << "the openssl command could not make the test certificates";
    const Certificates& certs = Certificates::get();
    PyFtpOptions options;
    options.logCommands = true;
    options.certificate = certs.pem("self");
    options.key = certs.key("self");
    auto server = std::make_unique<PyFtpServer>(root.path(), options);
    const int port = server->port();
    std::vector<QString> steps;
    auto showStep = window.NMFTP1->OnProtocolState;
    window.NMFTP1->OnProtocolState = [&](net::FtpState state) {
        showStep(state);
        if (steps.empty() || steps.back() != window.statusText())
            steps.push_back(window.statusText());
    };

    // The dialog opens on an empty list with the fields ready: fill them in, add, connect.
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<ui::TFormLogin*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        EXPECT_TRUE(dialog->RadioPassive->isChecked());
        EXPECT_TRUE(dialog->RadioTLS->isChecked());
        dialog->EditTITLE->setText(QStringLiteral("日記のサイト"));
        dialog->EditHost->setText("127.0.0.1");
        dialog->EditPort->setText(QString::number(port));
        QTest::keyClicks(dialog->EditUser, "author");
        QTest::keyClicks(dialog->EditPassword, "secret");
        QTest::mouseClick(dialog->ButtonADD, Qt::LeftButton);
        QTest::mouseClick(dialog->ButtonOK, Qt::LeftButton);
    });
    CertificateAnswers yes(true);
    click(window.SpeedButtonCON);
    ASSERT_TRUE(window.NMFTP1->Connected()) << window.statusText().toStdString();
    EXPECT_EQ(window.statusText(), "Connected");
    EXPECT_EQ(steps, (std::vector<QString>{ui::texts::connecting("127.0.0.1"), ui::texts::Securing,
                                           ui::texts::LoggingIn}));
    ASSERT_EQ(yes.asked.size(), 1u);
    EXPECT_EQ(yes.asked[0].first, "127.0.0.1");
    EXPECT_EQ(yes.asked[0].second.sha256, certs.fingerprint("self"));
    // Pinned to the site in the settings file, after its eight fields.
    const std::vector<doc::SiteEntry> sites = doc::loadSiteList(dir.file("quillet.ini"));
    ASSERT_EQ(sites.size(), 1u);
    EXPECT_EQ(sites[0].title, *platform::cp932().encodeStrict(QStringLiteral("日記のサイト")));
    EXPECT_EQ(sites[0].mode, doc::DataMode::Passive);
    EXPECT_EQ(sites[0].security, doc::Security::TlsRequired);
    EXPECT_EQ(sites[0].pin, certs.fingerprint("self"));

    const std::string page = "<HTML>\r\n<!-INS-!>\r\n\x93\xfa\x8b\x4c\rbare CR\nLF\x1a\xff\r\n</HTML>";
    writeFile(this->page, page);
    window.EditURL->setText("index.html");
    click(window.SpeedButtonUP);
    EXPECT_EQ(window.statusText(), "Ready");
    EXPECT_TRUE(readFile((root.path() / "index.html").string()) == page);
    writeFile(this->page, kPage);
    click(window.SpeedButtonDN);
    EXPECT_EQ(window.statusText(), "Ready");
    EXPECT_TRUE(readFile(this->page) == page);
    click(window.SpeedButtonDIS);
    for (const auto& a : prompter.asked)
        ADD_FAILURE() << "asked: " << a.text.toStdString();

    // The pin decides from now on: no question.
    connectToFirstSite();
    EXPECT_TRUE(window.NMFTP1->Connected()) << window.statusText().toStdString();
    EXPECT_EQ(yes.asked.size(), 1u);
    click(window.SpeedButtonDIS);
    EXPECT_TRUE(QTest::qWaitFor([&] { return countOf(server->commands(), "QUIT") == 2; }, 5000));
    const std::vector<std::string> commands = server->commands();
    EXPECT_EQ(commands[0], "AUTH TLS");
    EXPECT_EQ(countOf(commands, "PROT P"), 2u);
    EXPECT_EQ(countOf(commands, "PORT"), 0u); // passive: the data connections are ours
    EXPECT_EQ(countOf(commands, "EPSV"), 4u); // two listings, the upload and the download

    // The server's certificate changes: refused, with the warning, and nothing more is sent.
    server.reset();
    options.certificate = certs.pem("other");
    options.key = certs.key("other");
    options.port = port;
    server = std::make_unique<PyFtpServer>(root.path(), options);
    connectToFirstSite();
    EXPECT_FALSE(window.NMFTP1->Connected());
    EXPECT_TRUE(looksDisconnected());
    EXPECT_EQ(yes.asked.size(), 1u);
    EXPECT_EQ(window.statusText(), ui::texts::PinChanged);
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].kind, Asked::Error);
    EXPECT_TRUE(prompter.asked[0].text.contains(QString::fromStdString(certs.fingerprint("other"))));
    EXPECT_TRUE(prompter.asked[0].text.contains(QString::fromStdString(certs.fingerprint("self"))));
    EXPECT_EQ(doc::loadSiteList(dir.file("quillet.ini"))[0].pin, certs.fingerprint("self"));
    QTest::qWait(300);
    EXPECT_EQ(countOf(server->commands(), "USER"), 0u);
}

// A TLS site whose server offers no TLS: the status bar says so in Japanese, and the password
// never left.
TEST_F(PublishTest, TlsSiteAgainstAPlainServerSaysWhy) {
    PyFtpServer server(root.path(), "author", "secret", true);
    writeFile(dir.file("quillet.ini"),
              "\"plain\",\"127.0.0.1\",\"" + std::to_string(server.port()) +
                  "\",\"author\",\"secret\",\"\",\"\",\"\",\"passive\",\"tls\",\"\"\r\n");
    connectToFirstSite();
    EXPECT_FALSE(window.NMFTP1->Connected());
    EXPECT_EQ(window.statusText(), ui::texts::NoTls);
    QTest::qWait(300);
    EXPECT_EQ(server.commands(), (std::vector<std::string>{"AUTH TLS", "QUIT"}));
    EXPECT_TRUE(prompter.asked.empty());
}
