#include <gtest/gtest.h>

#include <QRegularExpression>

#include "commands/connect_failure.h"
#include "main/texts.h"
#include "net/ftp_client.h"
#include "net/texts.h"

using namespace quillet;
using namespace quillet::ui;
using quillet::commands::connectFailure;

namespace {
template <class E> std::exception_ptr error(const std::string& what) {
    return std::make_exception_ptr(E(what));
}
} // namespace

// What the author reads after a failed connect is Japanese and says what to do; the network
// layer's English reaches it only as a server's own reply line.
TEST(ConnectFailure, SaysWhatHappenedInJapanese) {
    using net::EAbortError;
    using net::ESockError;
    using net::FTPException;
    namespace C = net::NMConst;
    const std::vector<std::tuple<std::exception_ptr, bool, QString>> rows = {
        {error<ESockError>(C::Sock_Err_ConnFailed), false, texts::ConnectRefused},
        {error<ESockError>("10061:Connection refused"), false, texts::ConnectRefused},
        {error<ESockError>(C::Sock_Err_NullAddress), false, texts::HostNotFound},
        {error<ESockError>(C::Sock_Err_LookupFailed), false, texts::HostNotFound},
        {error<ESockError>("11001:Host not found"), false, texts::HostNotFound},
        {error<ESockError>(C::Sock_Err_LookupTimedOut), false, texts::LookupTimedOut},
        {error<ESockError>(C::Sock_Err_ConnTimedOut), false, texts::NoAnswer},
        {error<ESockError>("10051:Network is unreachable"), false, texts::Unreachable},
        {error<ESockError>(C::Sock_Err_PeerClosed), false, texts::ClosedByServer},
        {error<ESockError>("10054:Connection reset by peer"), false, texts::ClosedByServer},
        {error<ESockError>(C::Sock_Err_LineTooLong), false, texts::NotAnFtpReply},
        {error<FTPException>("Reply without a valid code: SSH-2.0-OpenSSH\r\n"), false, texts::NotAnFtpReply},
        {error<EAbortError>(C::Sock_Err_ReadLnAborted), false, texts::ConnectCanceled},
        {error<ESockError>(C::Sock_Err_ConnCanceled), false, texts::ConnectCanceled},
        {error<ESockError>(C::Sock_Err_ConnTimedOut), true, texts::ConnectCanceled}, // the author's Esc
        {error<ESockError>("10013:Permission denied"), false, texts::connectFailed(10013)},
        {error<ESockError>("Unknown Error No. 4"), false, texts::connectFailed(0)},
        {nullptr, false, texts::connectFailed(0)},
    };
    const QRegularExpression latin(QStringLiteral("[A-Za-z]"));
    for (const auto& [e, canceled, text] : rows) {
        const QString said = connectFailure(e, canceled);
        EXPECT_EQ(said, text);
        EXPECT_FALSE(said.contains(latin)) << said.toStdString();
    }
    // The server's reply is quoted, without its line end.
    EXPECT_EQ(connectFailure(error<FTPException>("530 Login incorrect.\r\n"), false),
              texts::loginRefused("530 Login incorrect."));
    EXPECT_EQ(connectFailure(error<FTPException>("421 Too many connections\r\n"), false),
              texts::serverBusy("421 Too many connections"));
}

// A secured connect that failed says why in one short line: the TLS failure, the certificate's
// problems, a server without TLS (before the password), a changed pinned certificate.
TEST(ConnectFailure, SaysWhyASecuredConnectFailed) {
    using net::ESecurityRefused;
    using net::ETlsError;
    using platform::CertificateProblem;
    using platform::TlsFailure;
    platform::CertificateInfo selfSigned;
    selfSigned.problems = {CertificateProblem::SelfSigned, CertificateProblem::OtherName};
    const std::vector<std::pair<std::exception_ptr, QString>> rows = {
        {std::make_exception_ptr(ETlsError(TlsFailure::Untrusted, selfSigned, {})),
         texts::untrusted(QStringLiteral("自己署名の証明書です、別のホスト名の証明書です"))},
        {std::make_exception_ptr(ETlsError(TlsFailure::PinMismatch, {}, {})), texts::PinChanged},
        {std::make_exception_ptr(ETlsError(TlsFailure::NotTls, {}, "wrong version number")), texts::NotTls},
        {std::make_exception_ptr(ETlsError(TlsFailure::Ended, {}, {})), texts::TlsEnded},
        {std::make_exception_ptr(ETlsError(TlsFailure::Protocol, {}, "tlsv1 alert protocol version")),
         texts::tlsFailed("tlsv1 alert protocol version")},
        {std::make_exception_ptr(
             ETlsError(TlsFailure::Protocol, {}, net::NMConst::Tls_Detail_ClearBeforeHandshake)),
         texts::ClearBeforeTls},
        {std::make_exception_ptr(
             ESecurityRefused(ESecurityRefused::Step::Auth, "500 AUTH not understood\r\n")),
         texts::NoTls},
        {std::make_exception_ptr(ESecurityRefused(ESecurityRefused::Step::Protect, "536 PROT P refused\r\n")),
         texts::NoDataProtection},
    };
    for (const auto& [e, text] : rows) {
        const QString said = connectFailure(e, false);
        EXPECT_EQ(said, text);
        EXPECT_FALSE(said.contains(QChar('\r')) || said.contains(QChar('\n'))) << said.toStdString();
    }
}
