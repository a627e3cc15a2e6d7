#include "commands/connect_failure.h"

#include <QRegularExpression>
#include <cstdlib>
#include <string_view>

#include "net/ftp_client.h"
#include "net/texts.h"
#include "platform/error_text.h"

namespace quillet::commands {

namespace {
using namespace net::NMConst;

// The Winsock number that leads a socket error's text ("10061:Connection refused"), or 0.
int errorNumber(std::string_view what) {
    const auto colon = what.find(':');
    if (colon == 0 || colon == std::string_view::npos || colon > 5)
        return 0;
    for (char c : what.substr(0, colon))
        if (c < '0' || c > '9')
            return 0;
    return std::atoi(std::string(what.substr(0, colon)).c_str());
}

QString socketFailure(std::string_view what) {
    if (what == Sock_Err_LookupFailed || what == Sock_Err_NullAddress)
        return texts::HostNotFound;
    if (what == Sock_Err_LookupTimedOut)
        return texts::LookupTimedOut;
    if (what == Sock_Err_ConnFailed)
        return texts::ConnectRefused;
    if (what == Sock_Err_ConnTimedOut)
        return texts::NoAnswer;
    if (what == Sock_Err_PeerClosed)
        return texts::ClosedByServer;
    if (what == Sock_Err_LineTooLong)
        return texts::NotAnFtpReply;
    if (what == Sock_Err_LookupCanceled || what == Sock_Err_ConnCanceled || what == Sock_Err_ReadLnAborted ||
        what == Sock_Err_SendAborted)
        return texts::ConnectCanceled;
    switch (const int number = errorNumber(what)) {
    case 11001:
    case 11002:
    case 11004:
        return texts::HostNotFound;
    case 10061:
        return texts::ConnectRefused;
    case 10060:
        return texts::NoAnswer;
    case 10050:
    case 10051:
    case 10064:
    case 10065:
        return texts::Unreachable;
    case 10053:
    case 10054:
        return texts::ClosedByServer;
    default:
        return texts::connectFailed(number);
    }
}

QString tlsFailure(const net::ETlsError& e) {
    using platform::TlsFailure;
    switch (e.Failure()) {
    case TlsFailure::Untrusted: {
        QStringList reasons;
        for (platform::CertificateProblem problem : e.Certificate().problems)
            reasons << certificateProblemText(problem);
        return texts::untrusted(reasons.join(texts::ReasonSeparator));
    }
    case TlsFailure::PinMismatch:
        return texts::PinChanged;
    case TlsFailure::NotTls:
        return texts::NotTls;
    case TlsFailure::Ended:
    case TlsFailure::Connection:
        return texts::TlsEnded;
    case TlsFailure::None:
    case TlsFailure::Protocol:
        break;
    }
    if (e.Detail() == Tls_Detail_ClearBeforeHandshake)
        return texts::ClearBeforeTls;
    return texts::tlsFailed(QString::fromStdString(e.Detail()));
}

QString replyFailure(const QString& reply) {
    static const QRegularExpression code(QStringLiteral("^[1-5][0-9][0-9]"));
    if (!code.match(reply).hasMatch())
        return texts::NotAnFtpReply; // the client's own words about what it could not read
    return reply.startsWith(QLatin1Char('4')) ? texts::serverBusy(reply) : texts::loginRefused(reply);
}
} // namespace

QString certificateProblemText(platform::CertificateProblem problem) {
    using P = platform::CertificateProblem;
    switch (problem) {
    case P::SelfSigned:
        return texts::SelfSigned;
    case P::Expired:
        return texts::Expired;
    case P::NotYetValid:
        return texts::NotYetValid;
    case P::OtherName:
        return texts::OtherName;
    case P::UnknownIssuer:
        return texts::UnknownIssuer;
    case P::Invalid:
        break;
    }
    return texts::Invalid;
}

QString pinChangedText(const QString& host, const std::string& pinned,
                       const platform::CertificateInfo& presented) {
    return texts::PinChangedWarning.arg(
        host, QString::fromLatin1(pinned.data(), static_cast<qsizetype>(pinned.size())),
        QString::fromStdString(presented.sha256));
}

QString connectFailure(std::exception_ptr error, bool canceled) {
    if (canceled)
        return texts::ConnectCanceled;
    if (!error)
        return texts::connectFailed(0);
    try {
        std::rethrow_exception(error);
    } catch (const net::ETlsError& e) {
        return tlsFailure(e);
    } catch (const net::ESecurityRefused& e) {
        return e.RefusedStep() == net::ESecurityRefused::Step::Auth ? texts::NoTls : texts::NoDataProtection;
    } catch (const net::FTPException&) {
        return replyFailure(platform::exceptionMessage(std::current_exception()).trimmed());
    } catch (const net::ESockError& e) {
        return socketFailure(e.what());
    } catch (const std::exception& e) {
        return socketFailure(e.what()); // "Not Connected" and the like
    } catch (...) {
        return texts::connectFailed(0);
    }
}

} // namespace quillet::commands
