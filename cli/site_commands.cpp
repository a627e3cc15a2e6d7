// The stored sites: listing them, and publishing and fetching a page with the window's client
// and its rules (passive or active, TLS, pinned certificates, a download installed only when
// complete, with the page as it was kept as the backup).
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <optional>

#include "cli/run_context.h"
#include "cli/texts.h"
#include "commands/connect_failure.h"
#include "commands/site_login.h"
#include "commands/transfer.h"
#include "document/file_io.h"
#include "document/site_list.h"
#include "net/ftp_client.h"
#include "platform/codepage.h"
#include "platform/error_text.h"
#include "platform/settings_path.h"
#include "platform/terminal.h"

namespace quillet::cli {

namespace {

QString settingsFile(const RunContext& run) {
    return run.options.isSet(QStringLiteral("settings")) ? run.options.value(QStringLiteral("settings"))
                                                         : platform::settingsFilePath();
}

std::vector<doc::SiteEntry> storedSites(const RunContext& run) {
    return doc::loadSiteList(QFile::encodeName(settingsFile(run)).toStdString());
}

QString shown(const std::string& bytes) { return platform::cp932().decodeForDisplay(bytes); }

// The site the run names, with its password: the stored one, else one from the password file,
// else one typed at the terminal.
commands::LoginTarget chosenSite(const RunContext& run) {
    if (!run.options.isSet(QStringLiteral("site")))
        usage(texts::SiteMissing);
    const QString name = run.options.value(QStringLiteral("site"));
    const auto title = platform::cp932().encodeStrict(name);
    const std::vector<doc::SiteEntry> sites = storedSites(run);
    const auto site = std::find_if(sites.begin(), sites.end(),
                                   [&](const doc::SiteEntry& s) { return title && s.title == *title; });
    if (site == sites.end())
        fail(texts::unknownSite(name));
    commands::LoginTarget target = commands::loginTarget(*site);
    if (!target.password.empty())
        return target;
    QString password;
    if (run.options.isSet(QStringLiteral("password-file"))) {
        const QByteArray bytes = readWhole(run.options.value(QStringLiteral("password-file")));
        const qsizetype end = bytes.indexOf('\n');
        password = QString::fromUtf8(end < 0 ? bytes : bytes.first(end)); // its first line
        if (password.endsWith(QChar('\r')))
            password.chop(1);
    } else if (auto typed =
                   platform::readSecretFromTerminal(texts::passwordPrompt(name).toUtf8().toStdString())) {
        password = QString::fromUtf8(*typed);
    } else {
        fail(texts::NoPassword);
    }
    target.password = platform::cp932().encodeExactly(password, QStringLiteral("ﾊﾟｽﾜｰﾄﾞ"));
    return target;
}

// The transfer's progress on one line, rewritten in place, for a person watching.
class ProgressLine {
public:
    ProgressLine(net::TNMFTP& client, const QString& page) : client_(client), page_(page) {
        if (!platform::stderrIsTerminal())
            return;
        const auto show = [this](QObject*) { showTransfer(); };
        client_.OnPacketSent = show;
        client_.OnPacketRecvd = show;
        client_.OnProtocolState = [this](net::FtpState state) {
            if (state == net::FtpState::Connecting)
                write(commands::texts::connecting(shown(client_.Host)));
            else if (state == net::FtpState::Securing)
                write(commands::texts::Securing);
            else if (state == net::FtpState::LoggingIn)
                write(commands::texts::LoggingIn);
        };
        clock_.start();
    }
    ~ProgressLine() {
        if (written_)
            std::fputs("\r\x1b[K", stderr);
    }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

private:
    void showTransfer() {
        const auto progress = commands::transferProgress(client_);
        if (!progress || clock_.elapsed() < 100)
            return;
        clock_.restart();
        const auto [done, total] = *progress;
        const QLocale locale;
        write(total > 0 ? texts::progress(page_, locale.toString(static_cast<qulonglong>(done)),
                                          locale.toString(static_cast<qlonglong>(total)))
                        : texts::progressBytes(page_, locale.toString(static_cast<qulonglong>(done))));
    }
    void write(const QString& text) {
        written_ = true;
        std::fputs(("\r\x1b[K" + text).toUtf8().constData(), stderr);
    }

    net::TNMFTP& client_;
    QString page_;
    QElapsedTimer clock_;
    bool written_ = false;
};

// Connects to the chosen site and runs the transfer; the connection is closed however it ends.
template <class Transfer> int withSite(RunContext& run, Transfer&& transfer) {
    commands::LoginTarget site = chosenSite(run);
    net::TNMFTP client;
    commands::prepareClient(client, site);
    // A certificate nobody vouches for is never taken silently: only the one the run names.
    const std::string trusted =
        platform::normalizedFingerprint(run.options.value(QStringLiteral("trust")).toStdString());
    std::optional<platform::CertificateInfo> refused;
    client.OnUntrustedCertificate = [&](const platform::CertificateInfo& certificate) {
        if (trusted.empty() || certificate.sha256 != trusted) {
            refused = certificate;
            return false;
        }
        try {
            commands::pinCertificate(settingsFile(run), site, certificate.sha256);
        } catch (...) {
            say(run.page, platform::exceptionMessage(std::current_exception()));
        }
        return true;
    };
    ProgressLine progress(client, run.page);
    struct Closer {
        net::TNMFTP& client;
        ~Closer() {
            if (!client.Connected())
                return;
            client.TimeOut = 3000; // QUIT, but a silent server does not keep the run
            try {
                client.Disconnect();
            } catch (...) {
            }
        }
    } closer{client};
    try {
        // Connect alone: the window's listing after it shows the author the site, which a run
        // that transfers one page has no use for.
        client.Connect();
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        QString message = commands::connectFailure(failure, false);
        try {
            std::rethrow_exception(failure);
        } catch (const net::ETlsError& e) {
            if (e.Failure() == platform::TlsFailure::PinMismatch)
                message = commands::pinChangedText(shown(site.host), site.pin, e.Certificate());
        } catch (...) {
        }
        if (refused)
            message += QChar(' ') + texts::trustHint(QString::fromStdString(refused->sha256));
        fail(message);
    }
    return transfer(client);
}

QString remoteName(const RunContext& run) {
    return run.options.isSet(QStringLiteral("remote")) ? run.options.value(QStringLiteral("remote"))
                                                       : QFileInfo(run.page).fileName();
}

bool never() { return false; }

} // namespace

int sites(RunContext& run) {
    QString out;
    for (const doc::SiteEntry& site : storedSites(run))
        out +=
            shown(site.title) + QChar('\t') + shown(site.host) + QChar('\t') + shown(site.port) + QChar('\n');
    print(out);
    return Done;
}

int publish(RunContext& run) {
    if (!doc::fileExists(run.pagePath))
        fail(texts::PageNotFound);
    return withSite(run, [&](net::TNMFTP& client) {
        commands::uploadPage(client, run.pagePath, run.page, remoteName(run), QStringLiteral("--remote"),
                             never);
        return Done;
    });
}

int fetch(RunContext& run) {
    const bool force = run.options.isSet(QStringLiteral("force"));
    return withSite(run, [&](net::TNMFTP& client) {
        commands::DownloadHooks hooks;
        hooks.canceled = never;
        hooks.replaceMarked = [force](const QString&) { return force; };
        hooks.install = [](const std::function<void()>& install) { install(); };
        if (commands::downloadPage(client, remoteName(run), QStringLiteral("--remote"), run.pagePath,
                                   run.page, hooks) == commands::TransferEnd::Kept)
            fail(texts::MarkerlessNotInstalled);
        return Done;
    });
}

} // namespace quillet::cli
