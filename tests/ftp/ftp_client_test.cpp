#include <gtest/gtest.h>

#include <QCoreApplication>
#include <fstream>

#include "../document/temp_dir.h"
#include "ftp_servers.h"
#include "net/ftp_client.h"
#include "platform/codepage.h"

using namespace quillet::net;
using namespace quillet::testing;

namespace {
std::string bytes(std::size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        s[i] = static_cast<char>(seed >> 24);
    }
    return s;
}

struct Recorder {
    std::vector<std::string> events;
    void attach(TNMFTP& ftp) {
        ftp.ReportLevel = 1;
        ftp.OnStatus = [this](QObject*, const std::string& s) { events.push_back("status " + s); };
        ftp.OnSuccess = [this](TCmdType t) { events.push_back("success " + std::to_string(int(t))); };
        ftp.OnTransactionStart = [this](QObject*) { events.push_back("start"); };
        ftp.OnTransactionStop = [this](QObject*) { events.push_back("stop"); };
        ftp.OnConnect = [this](QObject*) { events.push_back("connect"); };
    }
    bool has(const std::string& e) const {
        return std::find(events.begin(), events.end(), e) != events.end();
    }
};

class RealServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ftp.Host = "127.0.0.1";
        ftp.Port = server.port();
        ftp.UserID = server.user();
        ftp.Password = server.password();
        ftp.TimeOut = 20000;
    }
    TempDir root;
    TempDir local;
    PyFtpServer server{root.path()};
    TNMFTP ftp;
};
} // namespace

TEST_F(RealServerTest, LogInListAndQuit) {
    Recorder rec;
    rec.attach(ftp);
    writeFile((root.path() / "index.html").string(), "page");
    writeFile((root.path() / "my notes.txt").string(), "x");
    ftp.Connect();
    EXPECT_TRUE(ftp.Connected());
    EXPECT_TRUE(rec.has("connect"));
    EXPECT_TRUE(rec.has("status PASS "));
    for (const auto& e : rec.events)
        EXPECT_EQ(e.find("secret"), std::string::npos) << "password in status: " << e;

    std::vector<std::string> items;
    ftp.OnListItem = [&](const std::string& line) { items.push_back(line); };
    ftp.ParseList = true;
    ftp.SetTransferType(1);
    ftp.List();
    EXPECT_EQ(ftp.Vendor, VendorUnix);
    ASSERT_TRUE(ftp.DirectoryList());
    auto names = ftp.DirectoryList()->Names;
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"index.html", "notes.txt"}));
    EXPECT_EQ(items.size(), 2u);
    for (const auto& line : items)
        EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_TRUE(rec.has("success " + std::to_string(int(TCmdType::cmdList))));
    EXPECT_FALSE(ftp.DataSocket());

    ftp.List(); // a second listing replaces the first
    EXPECT_EQ(ftp.DirectoryList()->Names.size(), 2u);
    ftp.Disconnect();
    EXPECT_FALSE(ftp.Connected());
    EXPECT_FALSE(ftp.DirectoryList());
    EXPECT_EQ(ftp.Vendor, VendorDetect);
}

TEST_F(RealServerTest, WrongPasswordFailsWithTheReplyAndDisconnects) {
    ftp.Password = "wrong";
    try {
        ftp.Connect();
        FAIL() << "logged in with a wrong password";
    } catch (const FTPException& e) {
        EXPECT_EQ(std::string(e.what()).substr(0, 4), "530 ");
    }
    EXPECT_FALSE(ftp.Connected());
}

TEST_F(RealServerTest, UploadAndDownloadByteForByte) {
    ftp.Connect();
    ftp.SetTransferType(2); // TYPE I: bytes as they are
    struct Case {
        std::string name;
        std::string content;
    };
    const std::vector<Case> cases = {
        {"empty.html", ""},
        {"small.html", "<HTML>\r\n<!-INS-!>\r\n\x1a\xff\r"},
        {"diary.html", bytes(70000, 3)},
        {"big.bin", bytes(100 << 20, 9)},
    };
    for (const auto& c : cases) {
        const std::string path = local.file(c.name);
        writeFile(path, c.content);
        ftp.Upload(path, "");
        const auto remote = std::optional<std::string>(c.name);
        EXPECT_TRUE(readFile((root.path() / c.name).string()) == c.content) << c.name;
        EXPECT_EQ(ftp.BytesTotal(), static_cast<std::int64_t>(c.content.size()));

        const std::string back = local.file("back-" + std::to_string(c.content.size()));
        writeFile(back, "old contents");
        ftp.Download(*remote, back);
        EXPECT_TRUE(readFile(back) == c.content) << c.name;
        EXPECT_EQ(ftp.BytesTotal(), static_cast<std::int64_t>(c.content.size()));
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(local.path()), {}), 8);
}

TEST_F(RealServerTest, FailedDownloadLeavesTheLocalFileAlone) {
    ftp.Connect();
    const std::string path = local.file("index.html");
    writeFile(path, "my page");
    bool success = false;
    ftp.OnSuccess = [&](TCmdType) { success = true; };
    EXPECT_THROW(ftp.Download("missing.html", path), FTPException);
    EXPECT_FALSE(success);
    EXPECT_EQ(readFile(path), "my page");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(local.path()), {}), 1);
    // The control connection is still usable.
    ftp.DoCommand("PWD");
    EXPECT_EQ(ftp.ReplyNumber(), 257);
}

// The file-name part of a local path goes on the wire in CP932; "表" (0x95 0x5C) is not cut at
// its second byte.
TEST(FtpClient, StoreSendsTheLocalNameInCp932) {
    TempDir dir;
    const std::string path = dir.file("表日記.html");
    writeFile(path, "page");
    std::string stor, stored;
    ScriptedServer server([&](ScriptSession& s) {
        s.send("220 ready\r\n");
        s.readLine();
        s.send("230 in\r\n");
        const std::string port = s.readLine();
        s.send("200 ok\r\n");
        stor = s.readLine();
        s.send("150 go\r\n");
        s.openData(port);
        stored = s.receiveData();
        s.closeData();
        s.send("226 done\r\n");
        s.readLine();
        s.send("221 bye\r\n");
    });
    TNMFTP ftp;
    ftp.Host = "127.0.0.1";
    ftp.Port = server.port();
    ftp.UserID = "u";
    ftp.TimeOut = 5000;
    ftp.Connect();
    ftp.Upload(path, "");
    ftp.Disconnect();
    EXPECT_EQ(stor, "STOR \x95\x5c\x93\xfa\x8b\x4c.html");
    EXPECT_EQ(stored, "page");
}

TEST(FtpClient, CommandsWithLineBreaksAreRefusedBeforeSending) {
    std::vector<std::string> received;
    ScriptedServer server([&](ScriptSession& s) {
        s.send("220 ready\r\n");
        for (std::string line; !(line = s.readLine(1500)).empty();) {
            received.push_back(line);
            s.send(line.starts_with("USER") ? "230 in\r\n" : "200 ok\r\n");
        }
    });
    TNMFTP ftp;
    ftp.Host = "127.0.0.1";
    ftp.Port = server.port();
    ftp.UserID = "u";
    ftp.Password = "p";
    ftp.TimeOut = 5000;
    ftp.Connect();
    EXPECT_THROW(ftp.DoCommand("CWD x\r\nDELE index.html"), FTPException);
    EXPECT_THROW(ftp.Download(std::string("a\0b", 3), "x"), FTPException);
    EXPECT_THROW(ftp.Upload("/nonexistent", "a\nb"), std::exception);
    ftp.DoCommand("NOOP");
    ftp.Disconnect();
    for (const auto& line : received)
        EXPECT_EQ(line.find("DELE"), std::string::npos);
    EXPECT_EQ(received.back(), "QUIT");
}

TEST_F(RealServerTest, AsciiModeAndDownloadUnderTheRemoteName) {
    ftp.Connect();
    ftp.SetTransferType(1); // TYPE A: the server keeps its own line ends
    const std::string page = local.file("up.html");
    writeFile(page, "<HTML>\r\n<!-INS-!>\r\n</HTML>\r\n");
    ftp.Upload(page, "page.html");
    EXPECT_EQ(readFile((root.path() / "page.html").string()), "<HTML>\n<!-INS-!>\n</HTML>\n");
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(local.path());
    ftp.Download("page.html", ""); // into the current folder, under the remote name
    std::filesystem::current_path(cwd);
    EXPECT_EQ(readFile(local.file("page.html")), "<HTML>\r\n<!-INS-!>\r\n</HTML>\r\n");
    ftp.Disconnect();
}
