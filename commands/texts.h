#pragma once
// The texts of the commands both front ends run: what Save, Replace all, Delete-last, a new page,
// a connect and a transfer say to the author. The window shows them in its boxes and status bar,
// the command line on standard error. A CR inside a message is a line break.

#include <QString>

namespace quillet::commands::texts {

// Save and Replace all.
extern const QString ReplaceAllMissingBody;
extern const QString ReplaceAllMissingHtml;
QString noInsertionMarker(const QString& page);

// Delete-last and Edit-last.
extern const QString NoEntryEnd;

// Creating a page.
QString cannotCreate(const QString& page);
extern const QString NameTaken;

// Publishing.
extern const QString DownloadNotInstalled;
QString downloadIncomplete(const QString& page);
QString uploadSizeDiffers(const QString& page, const QString& held, const QString& sent); // sizes as written
QString replaceMarkedPage(const QString& page);

// A connect, while it waits and when it did not end connected: what happened and what to do.
QString connecting(const QString& host);
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
extern const QString ReasonSeparator; // between the reasons in one message
extern const QString PinChanged;

// Why a certificate is not trusted, one reason each.
extern const QString SelfSigned;
extern const QString Expired;
extern const QString NotYetValid;
extern const QString OtherName;
extern const QString UnknownIssuer;
extern const QString Invalid;
// A pinned certificate that changed: host, the pinned and the presented fingerprint. Ends
// without a period: the error box adds it.
extern const QString PinChangedWarning;

} // namespace quillet::commands::texts
