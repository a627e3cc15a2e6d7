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
} // namespace texts

} // namespace quillet::ui
