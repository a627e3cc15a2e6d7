// publish, fetch and sites through the real program against pyftpdlib on 127.0.0.1, with the
// sites in a settings file of the test's own.
#include <gtest/gtest.h>

#include "../document/temp_dir.h"
#include "../net/test_certificates.h"
#include "document/site_list.h"
#include "ftp/ftp_servers.h"
#include "run_quillet.h"

using namespace quillet;
using namespace quillet::testing;

namespace {
const std::string kPage = "<HTML>\r\n<BODY>\r\n<!-INS-!>\r\n</BODY>\r\n</HTML>\r\n";

class SiteCommands : public ::testing::Test {
protected:
    doc::SiteEntry site(int port, std::string password = "secret") const {
        doc::SiteEntry s;
        s.title = "diary";
        s.host = "127.0.0.1";
        s.port = std::to_string(port);
        s.user = "author";
        s.password = std::move(password);
        s.mode = doc::DataMode::Passive;
        s.security = doc::Security::Plain;
        return s;
    }
    void store(const std::vector<doc::SiteEntry>& sites) const { doc::saveSiteList(settings, sites); }
    Ran quillet(QStringList arguments) const {
        arguments << "--settings" << QString::fromStdString(settings);
        return runQuillet(arguments, {}, QString::fromStdString(local.path().string()));
    }
    std::string page() const { return readFile(local.file("index.html")); }
    std::string backup() const { return readFile(local.file("index.BAK")); }

    TempDir local, remote;
    std::string settings = local.file("sites.ini");
};
} // namespace

// The page goes up and comes back byte for byte, in either data mode; a download keeps the page
// it replaces as the backup.
TEST_F(SiteCommands, PublishAndFetchInBothDataModes) {
    PyFtpServer server(remote.path());
    for (const doc::DataMode mode : {doc::DataMode::Passive, doc::DataMode::Active}) {
        doc::SiteEntry s = site(server.port());
        s.mode = mode;
        store({s});
        const std::string mine = kPage + std::string(70000, 'x') + "\r\n\r\x1a tail";
        writeFile(local.file("index.html"), mine);
        Ran ran = quillet({"publish", "index.html", "--site", "diary"});
        ASSERT_EQ(ran.status, 0) << ran.err;
        EXPECT_EQ(ran.err, ""); // no progress line without a terminal
        EXPECT_EQ(readFile(remote.file("index.html")), mine);

        const std::string theirs = kPage + "<P>from the server</P>\r\n";
        writeFile(remote.file("renamed.html"), theirs);
        ran = quillet({"fetch", "index.html", "--site", "diary", "--remote", "renamed.html"});
        ASSERT_EQ(ran.status, 0) << ran.err;
        EXPECT_EQ(page(), theirs);
        EXPECT_EQ(backup(), mine);
    }
}

TEST_F(SiteCommands, SitesShowsNamesAndHostsButNoPassword) {
    doc::SiteEntry other = site(2121, "hunter2");
    other.title = "\x93\xfa\x8b\x4c"; // 日記 in the settings file's CP932
    other.host = "ftp.example.jp";
    store({site(21), other});
    const Ran ran = quillet({"sites"});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(ran.out, "diary\t127.0.0.1\t21\n日記\tftp.example.jp\t2121\n");
    EXPECT_EQ(ran.out.find("secret"), std::string::npos);
    EXPECT_EQ(ran.out.find("hunter2"), std::string::npos);
}

// Each refusal: one line naming the page, status 1, the page and its backup as they were, and
// nothing on the server.
TEST_F(SiteCommands, RefusalsLeaveBothSidesAlone) {
    PyFtpServer server(remote.path());
    store({site(server.port(), "")});
    writeFile(local.file("wrong"), "not-the-password\n");
    writeFile(local.file("right"), "secret\n");
    writeFile(local.file("index.html"), kPage);
    writeFile(local.file("index.BAK"), "backup");
    writeFile(remote.file("index.html"), "theirs");
    const std::vector<std::pair<QStringList, std::string>> cases = {
        {{"publish", "index.html", "--site", "nosuch", "--password-file", "right"},
         "サイト「nosuch」は保存されていません"},
        {{"publish", "index.html", "--site", "diary", "--password-file", "wrong"}, "ログインできません"},
        {{"fetch", "index.html", "--site", "diary", "--password-file", "wrong"}, "ログインできません"},
        {{"publish", "index.html", "--site", "diary"}, "パスワードがありません"}, // and no terminal to ask
        {{"publish", "gone.html", "--site", "diary", "--password-file", "right"}, "文書が見つかりません"},
    };
    for (const auto& [arguments, said] : cases) {
        const Ran ran = quillet(arguments);
        const std::string what = arguments.join(' ').toStdString();
        EXPECT_EQ(ran.status, 1) << what;
        EXPECT_TRUE(ran.oneLine()) << what << ": " << ran.err;
        EXPECT_TRUE(ran.err.starts_with("quillet: " + arguments[1].toStdString() + ": "))
            << what << ": " << ran.err;
        EXPECT_NE(ran.err.find(said), std::string::npos) << what << ": " << ran.err;
        EXPECT_EQ(page(), kPage) << what;
        EXPECT_EQ(backup(), "backup") << what;
        EXPECT_EQ(readFile(remote.file("index.html")), "theirs") << what;
    }
    EXPECT_EQ(quillet({"publish", "index.html", "--site", "diary", "--password-file", "right"}).status, 0);
    EXPECT_EQ(readFile(remote.file("index.html")), kPage);
}

// A download without the marker line would leave the page nowhere to write: it is installed
// only when the run says so.
TEST_F(SiteCommands, FetchReplacesAPageWithItsMarkerLineOnlyWhenForced) {
    PyFtpServer server(remote.path());
    store({site(server.port())});
    writeFile(local.file("index.html"), kPage);
    writeFile(local.file("index.BAK"), "backup");
    writeFile(remote.file("index.html"), "<HTML>no marker</HTML>\r\n");
    Ran ran = quillet({"fetch", "index.html", "--site", "diary"});
    EXPECT_EQ(ran.status, 1);
    EXPECT_NE(ran.err.find("--force"), std::string::npos) << ran.err;
    EXPECT_EQ(page(), kPage);
    EXPECT_EQ(backup(), "backup");
    ran = quillet({"fetch", "index.html", "--site", "diary", "--force"});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(page(), "<HTML>no marker</HTML>\r\n");
    EXPECT_EQ(backup(), kPage);
}

// Over TLS a certificate nobody vouches for is refused, naming its fingerprint; --trust with that
// fingerprint accepts it and pins it to the site, and a pin that no longer matches is refused.
TEST_F(SiteCommands, UntrustedCertificateIsRefusedUntilItsFingerprintIsTrusted) {
    const Certificates& certificates = Certificates::get();
    ASSERT_TRUE(certificates.ok());
    PyFtpOptions options;
    options.certificate = certificates.pem("good");
    options.key = certificates.key("good");
    PyFtpServer server(remote.path(), options);
    doc::SiteEntry s = site(server.port());
    s.security = doc::Security::TlsRequired;
    store({s});
    writeFile(local.file("index.html"), kPage);
    const std::string fingerprint = certificates.fingerprint("good");

    Ran ran = quillet({"publish", "index.html", "--site", "diary"});
    EXPECT_EQ(ran.status, 1);
    EXPECT_TRUE(ran.oneLine()) << ran.err;
    EXPECT_NE(ran.err.find("証明書を信頼しなかった"), std::string::npos) << ran.err;
    EXPECT_NE(ran.err.find("--trust " + fingerprint), std::string::npos) << ran.err;
    EXPECT_FALSE(exists(remote.file("index.html")));

    ran =
        quillet({"publish", "index.html", "--site", "diary", "--trust", QString::fromStdString(fingerprint)});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(readFile(remote.file("index.html")), kPage);
    EXPECT_EQ(doc::loadSiteList(settings).at(0).pin, fingerprint);
    ran = quillet({"fetch", "index.html", "--site", "diary"});
    EXPECT_EQ(ran.status, 0) << ran.err;

    s.pin = certificates.fingerprint("self");
    store({s});
    ran =
        quillet({"publish", "index.html", "--site", "diary", "--trust", QString::fromStdString(fingerprint)});
    EXPECT_EQ(ran.status, 1);
    EXPECT_NE(ran.err.find("信頼した証明書と違う"), std::string::npos) << ran.err;
    EXPECT_NE(ran.err.find(fingerprint), std::string::npos) << ran.err;
}
