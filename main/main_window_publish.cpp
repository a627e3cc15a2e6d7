// Publishing: Connect, Disconnect, upload and download through the window's FTP client.
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>

#include "commands/connect_failure.h"
#include "commands/site_login.h"
#include "commands/transfer.h"
#include "dialogs/certificate_dialog.h"
#include "dialogs/site_dialog.h"
#include "document/file_io.h"
#include "document/work_files.h"
#include "main/main_window_private.h"
#include "net/ftp_client.h"
#include "platform/codepage.h"

namespace quillet::ui {

using platform::Answer;
using platform::Buttons;
using platform::prompter;

namespace {
QString shownBytes(const std::string& bytes) { return platform::cp932().decodeForDisplay(bytes); }
} // namespace

void TFormQuillet::connectPublishHandlers() {
    onClick(SpeedButtonCON, [this] { SpeedButtonCONClick(); });
    onClick(SpeedButtonDIS, [this] { SpeedButtonDISClick(); });
    onClick(SpeedButtonUP, [this] { SpeedButtonUPClick(); });
    onClick(SpeedButtonDN, [this] { SpeedButtonDNClick(); });
    connect(cancelButton_, &QToolButton::clicked, this, [this] { cancelTransfer(); });
    // Esc belongs to the transfer only while one runs; otherwise dialogs keep it.
    cancelShortcut_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    cancelShortcut_->setContext(Qt::ApplicationShortcut);
    cancelShortcut_->setEnabled(false);
    connect(cancelShortcut_, &QShortcut::activated, this, [this] { cancelTransfer(); });
    // Progress of the running transfer; the client hands these on to its data connection.
    NMFTP1->OnPacketRecvd = [this](QObject*) { showTransferProgress(); };
    NMFTP1->OnPacketSent = [this](QObject*) { showTransferProgress(); };
    // What a connect is doing: the status bar says so while the window waits.
    NMFTP1->OnProtocolState = [this](net::FtpState state) {
        switch (state) {
        case net::FtpState::Connecting:
            setStatusText(
                texts::connecting(shownBytes(NMFTP1->Proxy.empty() ? NMFTP1->Host : NMFTP1->Proxy)));
            break;
        case net::FtpState::Securing:
            setStatusText(texts::Securing);
            break;
        case net::FtpState::LoggingIn:
            setStatusText(texts::LoggingIn);
            break;
        default:
            break;
        }
    };
}

bool TFormQuillet::trustCertificate(const LoginTarget& site, const platform::CertificateInfo& certificate) {
    if (!askToTrust(this, shownBytes(site.host), certificate))
        return false;
    // Yes pins it: this site accepts this certificate from now on, and no other.
    platform::runCommand(this, [&] { pinCertificate(SettingsPath, site, certificate.sha256); });
    return true;
}

void TFormQuillet::setConnectedLook(bool connected) {
    connectedLook_ = connected;
    updateFtpButtons();
}

void TFormQuillet::updateFtpButtons() {
    SpeedButtonCON->setEnabled(!ftpBusy_ && !connectedLook_);
    SpeedButtonDIS->setEnabled(!ftpBusy_ && connectedLook_);
    SpeedButtonUP->setEnabled(!ftpBusy_ && connectedLook_);
    SpeedButtonDN->setEnabled(!ftpBusy_ && connectedLook_);
    cancelShortcut_->setEnabled(ftpBusy_);
}

void TFormQuillet::cancelTransfer() {
    if (!ftpBusy_)
        return;
    transferCanceled_ = true;
    NMFTP1->Abort();  // the data connection's wait ends
    NMFTP1->Cancel(); // and so does a wait for a reply
}

void TFormQuillet::showTransferProgress() {
    const auto progress = commands::transferProgress(*NMFTP1);
    if (!progress)
        return;
    const auto [done, total] = *progress;
    QLocale locale;
    if (total > 0) {
        progressLabel_->setText(texts::bytesOf(locale.toString(static_cast<qulonglong>(done)),
                                               locale.toString(static_cast<qlonglong>(total))));
        progressBar_->setRange(0, 1000);
        progressBar_->setValue(static_cast<int>(std::min<double>(1000.0, 1000.0 * done / total)));
        progressBar_->show();
    } else {
        progressLabel_->setText(texts::bytes(locale.toString(static_cast<qulonglong>(done))));
        progressBar_->hide();
    }
    progressLabel_->show();
}

// One FTP command at a time: the FTP buttons are off while it runs and come back on every way
// out; a close asked for meanwhile is carried out once the command has unwound.
template <class F> void TFormQuillet::runFtpCommand(F&& command) {
    if (ftpBusy_)
        return;
    struct Busy {
        TFormQuillet& w;
        explicit Busy(TFormQuillet& window) : w(window) {
            w.ftpBusy_ = true;
            w.transferCanceled_ = false;
            w.updateFtpButtons();
            w.LabelEncoding->hide(); // the transfer's status and progress take its room
            w.cancelButton_->show();
        }
        ~Busy() {
            w.ftpBusy_ = false;
            w.cancelButton_->hide();
            w.progressLabel_->hide();
            w.progressBar_->hide();
            w.LabelEncoding->show();
            w.updateFtpButtons();
            if (w.closeAfterFtp_)
                QTimer::singleShot(0, &w, [window = &w] { window->close(); });
        }
    } busy(*this);
    command();
}

void TFormQuillet::SpeedButtonCONClick() {
    auto dialog = SettingsPath.isEmpty() ? std::make_unique<TFormLogin>(this)
                                         : std::make_unique<TFormLogin>(this, SettingsPath);
    if (dialog->exec() != QDialog::Accepted)
        return;
    repaint();
    const LoginTarget site = dialog->target();
    dialog.reset();
    commands::prepareClient(*NMFTP1, site);
    NMFTP1->OnUntrustedCertificate = [this, site](const platform::CertificateInfo& certificate) {
        return trustCertificate(site, certificate);
    };
    setStatusText(texts::connecting(shownBytes(site.host)));
    std::exception_ptr failure;
    runFtpCommand([&] {
        try {
            NMFTP1->Connect();
            NMFTP1->SetTransferType(1);
            NMFTP1->List();
        } catch (const net::ETlsError& e) {
            failure = std::current_exception();
            // Never taken silently: the author is told what this may mean and what to do.
            if (e.Failure() == platform::TlsFailure::PinMismatch)
                prompter().error(this, pinChangedText(shownBytes(site.host), site.pin, e.Certificate()));
        } catch (...) {
            failure = std::current_exception();
        }
    });
    setConnectedLook(NMFTP1->Connected());
    if (NMFTP1->Connected())
        setStatusText(texts::Connected);
    else
        setStatusText(commands::connectFailure(failure, transferCanceled_));
    repaint();
}

void TFormQuillet::SpeedButtonDISClick() {
    runFtpCommand([&] { NMFTP1->Disconnect(); });
    setConnectedLook(false);
    setStatusText(texts::NotConnected);
}

void TFormQuillet::SpeedButtonUPClick() {
    runFtpCommand([&] {
        setStatusText(texts::uploading(EditHtml->text()));
        if (commands::uploadPage(*NMFTP1, pagePath(), EditHtml->text(), EditURL->text(), texts::Label1,
                                 [this] { return transferCanceled_; }) == commands::TransferEnd::Canceled) {
            setStatusText(texts::UploadCanceled);
            return;
        }
        setStatusText(texts::Ready);
    });
}

void TFormQuillet::SpeedButtonDNClick() {
    // The page that came may be in another encoding.
    const EncodingShownAfter shown{this};
    runFtpCommand([&] {
        setStatusText(texts::downloading(EditURL->text()));
        const QString shownPage = EditHtml->text().isEmpty() ? EditURL->text() : EditHtml->text();
        commands::DownloadHooks hooks;
        hooks.canceled = [this] { return transferCanceled_; };
        hooks.replaceMarked = [this](const QString& question) {
            return prompter().confirm(this, question, Buttons::YesNoDefaultNo) == Answer::Yes;
        };
        // The fsync of a large download takes long: the window keeps turning meanwhile.
        hooks.install = [](const std::function<void()>& install) { platform::runAside(install); };
        switch (commands::downloadPage(*NMFTP1, EditURL->text(), texts::Label1,
                                       QFile::encodeName(shownPage).toStdString(), shownPage, hooks)) {
        case commands::TransferEnd::Canceled:
            setStatusText(texts::DownloadCanceled);
            return;
        case commands::TransferEnd::Kept:
            setStatusText(texts::DownloadNotInstalled);
            return;
        case commands::TransferEnd::Done:
            break;
        }
        setStatusText(texts::Ready);
    });
}

} // namespace quillet::ui
