// Publishing to today's servers, against pyftpdlib: passive and active data connections, FTP
// over TLS with its certificate checks, PASV replies that point elsewhere, servers without EPSV
// or SIZE, UTF-8 names and IPv6.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <netdb.h>

#include "../document/temp_dir.h"
#include "../net/test_certificates.h"
#include "ftp_servers.h"
#include "net/ftp_client.h"
#include "platform/codepage.h"

using namespace quillet::net;
using namespace quillet::testing;
namespace platform = quillet::platform;

namespace {
std::string pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 2654435761u) >> 13);
    return s;
}

// The commands the server logged, once its log (written from its own process) has caught up.
std::vector<std::string> settled(const PyFtpServer& server) {
    ::usleep(300 * 1000);
    return server.commands();
}

std::size_t count(const std::vector<std::string>& commands, const std::string& prefix) {
    return static_cast<std::size_t>(std::count_if(
        commands.begin(), commands.end(), [&](const std::string& c) { return c.starts_with(prefix); }));
}

std::ptrdiff_t indexOf(const std::vector<std::string>& commands, const std::string& prefix) {
    const auto at = std::find_if(commands.begin(), commands.end(),
                                 [&](const std::string& c) { return c.starts_with(prefix); });
    return at == commands.end() ? -1 : at - commands.begin();
}

class FtpsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Certificates::get().ok())
            GTEST_SKIP() << "the openssl command could not make the test certificates";
    }
    // pyftpdlib over TLS with the named certificate, logging every command.
    std::unique_ptr<PyFtpServer> serve(const std::string& certificate, PyFtpOptions options = {}) {
        options.logCommands = true;
        if (!certificate.empty()) {
            options.certificate = Certificates::get().pem(certificate);
            options.key = Certificates::get().key(certificate);
        }
        return std::make_unique<PyFtpServer>(root.path(), options);
    }
    void prepare(TNMFTP& ftp, const PyFtpServer& server, bool tls = true, bool passive = true) {
        ftp.Host = "127.0.0.1";
        ftp.Port = server.port();
        ftp.UserID = server.user();
        ftp.Password = server.password();
        ftp.TimeOut = 20000;
        ftp.Passive = passive;
        ftp.UseTls = tls;
        ftp.TrustedCaFile = Certificates::get().ca();
        ftp.NegotiateFeatures = true;
    }
    // Uploads, lists and downloads back, binary; the server's copy and ours must be the file.
    void roundTrip(TNMFTP& ftp, const std::string& content, const std::string& name = "page.html") {
        const std::string path = local.file("up-" + name);
        writeFile(path, content);
        ftp.SetTransferType(2);
        ftp.Upload(path, name);
        EXPECT_TRUE(readFile((root.path() / name).string()) == content) << name;
        std::vector<std::string> listed;
        ftp.OnListItem = [&](const std::string& line) { listed.push_back(line); };
        ftp.List();
        ftp.OnListItem = nullptr;
        EXPECT_TRUE(std::any_of(listed.begin(), listed.end(),
                                [&](const std::string& l) { return l.ends_with(" " + name); }));
        const std::string back = local.file("back-" + name);
        ftp.Download(name, back);
        EXPECT_TRUE(readFile(back) == content) << name;
    }
    TempDir root;
    TempDir local;
};
} // namespace

// The whole path over TLS in both modes: AUTH TLS before the user name, the data connections
// protected and resuming the control connection's session (the server refuses any that does
// not), and each upload checked with SIZE.
TEST_F(FtpsTest, PassiveAndActiveOverTlsMoveTheFilesByteForByte) {
    for (const bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        PyFtpOptions options;
        options.requireReuse = true;
        auto server = serve("good", options);
        TNMFTP ftp;
        prepare(ftp, *server, true, passive);
        std::vector<FtpState> states;
        ftp.OnProtocolState = [&](FtpState s) { states.push_back(s); };
        bool asked = false;
        ftp.OnUntrustedCertificate = [&](const platform::CertificateInfo&) { return asked = true; };
        ftp.Connect();
        EXPECT_FALSE(asked);
        ASSERT_TRUE(ftp.Tls());
        EXPECT_EQ(ftp.Tls()->certificate().sha256, Certificates::get().fingerprint("good"));
        EXPECT_EQ(states, (std::vector<FtpState>{FtpState::Connecting, FtpState::Securing,
                                                 FtpState::LoggingIn, FtpState::Ready}));
        roundTrip(ftp, pattern(3 << 20));
        roundTrip(ftp, "", "empty.html");
        roundTrip(ftp, "<HTML>\r\n<!-INS-!>\r\n</HTML>\r\n", "small.html");
        ftp.Disconnect();

        const std::vector<std::string> commands = settled(*server);
        ASSERT_GE(commands.size(), 4u);
        EXPECT_EQ(commands[0], "AUTH TLS");
        EXPECT_EQ(commands[1], "USER " + server->user());
        EXPECT_EQ(indexOf(commands, "PBSZ 0"), 3);
        EXPECT_EQ(indexOf(commands, "PROT P"), 4);
        EXPECT_EQ(count(commands, passive ? "EPSV" : "PORT"), 9u);
        EXPECT_EQ(count(commands, passive ? "PORT" : "EPSV"), 0u);
        EXPECT_EQ(count(commands, "PASV"), 0u);
        EXPECT_EQ(count(commands, "SIZE page.html"), 2u); // after the upload, before the download
    }
}

// A certificate the trust store does not vouch for goes to the question; no sends nothing more,
// yes connects and moves the files, and a pinned certificate needs no question but must be the
// very one: another, even one the store trusts, is refused before the user name is sent.
TEST_F(FtpsTest, UntrustedCertificateIsAskedAboutThenPinnedAndAChangeRefused) {
    const std::string selfPin = Certificates::get().fingerprint("self");
    {
        auto server = serve("self");
        TNMFTP ftp;
        prepare(ftp, *server);
        std::vector<platform::CertificateInfo> asked;
        ftp.OnUntrustedCertificate = [&](const platform::CertificateInfo& c) {
            asked.push_back(c);
            return false;
        };
        try {
            ftp.Connect();
            FAIL() << "connected";
        } catch (const ETlsError& e) {
            EXPECT_EQ(e.Failure(), platform::TlsFailure::Untrusted);
            EXPECT_EQ(e.Certificate().sha256, selfPin);
        }
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].problems, std::vector{platform::CertificateProblem::SelfSigned});
        EXPECT_FALSE(ftp.Connected());

        ftp.OnUntrustedCertificate = [&](const platform::CertificateInfo& c) {
            asked.push_back(c);
            return true;
        };
        ftp.Connect();
        EXPECT_EQ(asked.size(), 2u);
        roundTrip(ftp, pattern(200000));
        ftp.Disconnect();

        ftp.PinnedCertificate = selfPin;
        ftp.Connect();
        EXPECT_EQ(asked.size(), 2u); // the pin decides: no question
        roundTrip(ftp, "pinned");
        ftp.Disconnect();
        EXPECT_EQ(count(settled(*server), "USER"), 2u);
    }
    auto changed = serve("other"); // trusted by the test CA, but not the pinned one
    TNMFTP ftp;
    prepare(ftp, *changed);
    ftp.PinnedCertificate = selfPin;
    bool asked = false;
    ftp.OnUntrustedCertificate = [&](const platform::CertificateInfo&) { return asked = true; };
    try {
        ftp.Connect();
        FAIL() << "connected to a changed certificate";
    } catch (const ETlsError& e) {
        EXPECT_EQ(e.Failure(), platform::TlsFailure::PinMismatch);
        EXPECT_EQ(e.Certificate().sha256, Certificates::get().fingerprint("other"));
    }
    EXPECT_FALSE(asked);
    EXPECT_FALSE(ftp.Connected());
    EXPECT_EQ(settled(*changed), std::vector<std::string>{"AUTH TLS"});
}

// A server behind NAT names an address in its PASV reply that is not the one we talk to (or a
// forged reply names a third host): the data connection goes to the control connection's peer.
// A server that does not know EPSV is asked with PASV from then on.
TEST_F(FtpsTest, PasvAddressIsIgnoredAndARefusedEpsvIsNotAskedAgain) {
    PyFtpOptions options;
    options.masquerade = "192.0.2.77"; // TEST-NET-1: nothing answers there
    options.without = {"EPSV"};
    auto server = serve("", options);
    TNMFTP ftp;
    prepare(ftp, *server, false);
    ftp.TimeOut = 5000;
    ftp.Connect();
    roundTrip(ftp, pattern(100000));
    ftp.Disconnect();
    const std::vector<std::string> commands = settled(*server);
    EXPECT_EQ(count(commands, "EPSV"), 1u);
    EXPECT_EQ(count(commands, "PASV"), 3u);
}

// Without SIZE the upload is not checked and still succeeds; nothing asks for a size.
TEST_F(FtpsTest, ServerWithoutSizeStillTakesUploads) {
    PyFtpOptions options;
    options.without = {"SIZE"};
    auto server = serve("good", options);
    TNMFTP ftp;
    prepare(ftp, *server);
    bool uploaded = false;
    ftp.OnSuccess = [&](TCmdType t) { uploaded = uploaded || t == TCmdType::cmdUpload; };
    ftp.Connect();
    ftp.SetTransferType(2);
    const std::string content = pattern(70000);
    writeFile(local.file("page.html"), content);
    ftp.Upload(local.file("page.html"), "page.html");
    EXPECT_TRUE(uploaded);
    EXPECT_TRUE(readFile((root.path() / "page.html").string()) == content);
    ftp.Disconnect();
    EXPECT_EQ(count(settled(*server), "SIZE"), 0u);
}

// pyftpdlib lists UTF8: names go out in UTF-8, also those Shift-JIS cannot hold.
TEST_F(FtpsTest, NamesGoOutInUtf8WhenTheServerListsIt) {
    auto server = serve("good");
    TNMFTP ftp;
    prepare(ftp, *server);
    ftp.Connect();
    EXPECT_EQ(ftp.NameEncoding().encoding(), "UTF-8");
    ftp.SetTransferType(2);
    for (const std::string name : {"日記.html", "表🎉.html"}) {
        const std::string path = local.file(name);
        writeFile(path, "page " + name);
        ftp.Upload(path, ""); // the local name's last part, in the server's encoding
        EXPECT_EQ(readFile((root.path() / name).string()), "page " + name);
    }
    ftp.Disconnect();
    const std::vector<std::string> commands = settled(*server);
    EXPECT_EQ(count(commands, "FEAT"), 1u);
    EXPECT_EQ(count(commands, "OPTS UTF8 ON"), 1u);
}

// IPv6: a literal address and a host name that resolves to one, in both modes (EPSV and EPRT),
// plain and over TLS.
TEST_F(FtpsTest, Ipv6LoopbackInBothModes) {
    const int probe = ::socket(AF_INET6, SOCK_STREAM, 0);
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    const bool ipv6 = probe >= 0 && ::bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    if (probe >= 0)
        ::close(probe);
    if (!ipv6)
        GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
    platform::setResolver([](const std::string& name, std::vector<platform::SocketAddress>* addresses) {
        if (name != "v6.quillet.test")
            return EAI_NONAME;
        addresses->push_back(*platform::SocketAddress::numeric("::1"));
        return 0;
    });
    for (const bool tls : {false, true}) {
        PyFtpOptions options;
        options.address = "::1";
        auto server = serve(tls ? "good" : "", options);
        for (const bool passive : {true, false}) {
            for (const std::string host : {"::1", "v6.quillet.test"}) {
                SCOPED_TRACE(std::string(tls ? "TLS " : "plain ") + (passive ? "passive " : "active ") +
                             host);
                TNMFTP ftp;
                prepare(ftp, *server, tls, passive);
                ftp.Host = host;
                // The test certificate is made out for 127.0.0.1 and localhost: pinned, it is the one.
                ftp.PinnedCertificate = tls ? Certificates::get().fingerprint("good") : "";
                ftp.Connect();
                EXPECT_EQ(ftp.RemoteAddress().family(), AF_INET6);
                roundTrip(ftp, pattern(50000));
                ftp.Disconnect();
            }
        }
        const std::vector<std::string> commands = settled(*server);
        EXPECT_EQ(count(commands, "EPRT |2|::1|"), 6u);
        EXPECT_EQ(count(commands, "EPSV"), 6u);
        EXPECT_EQ(count(commands, "PORT"), 0u);
        EXPECT_EQ(count(commands, "PASV"), 0u);
    }
    platform::setResolver({});
}
