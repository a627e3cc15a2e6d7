#pragma once
// What the window says about a connect, while it waits and when it did not end connected: in
// Japanese, what happened and what to do. The network layer's exceptions carry its English
// texts; of those only a server's own reply line is quoted.

#include <QString>
#include <exception>

namespace quillet::ui {

// `canceled`: the author stopped the connect.
QString connectFailure(std::exception_ptr error, bool canceled);

namespace texts {
QString connecting(const QString& host); // while a connect waits
extern const QString ConnectCanceled;
extern const QString HostNotFound;
extern const QString LookupTimedOut;
extern const QString ConnectRefused;
extern const QString Unreachable;
extern const QString NoAnswer;
extern const QString ClosedByServer;
extern const QString NotAnFtpReply;
QString loginRefused(const QString& reply);
QString serverBusy(const QString& reply);
QString connectFailed(int errorNumber);
// A connect over TLS: what it is doing, and why it failed.
extern const QString Securing;
extern const QString LoggingIn;
extern const QString NoTls;
extern const QString NoDataProtection;
extern const QString NotTls;
extern const QString TlsEnded;
QString tlsFailed(const QString& detail);
extern const QString ClearBeforeTls;
QString untrusted(const QString& reasons);
extern const QString PinChanged;
} // namespace texts

} // namespace quillet::ui
