#pragma once
// Every text the main window shows or asks: its controls' captions (named after the control),
// its status line, its questions and its messages. A CR inside a message is a line break.

#include <QString>

namespace quillet::ui::texts {

// The window and its top band.
extern const QString FormQuillet;
extern const QString Label2;
extern const QString EditHtml; // the page at start
extern const QString ButtonHtml;
extern const QString Label1;
extern const QString Label4;
extern const QString EditTitle; // the title at start
extern const QString Memo1;     // the body at start
extern const QString CheckBoxTitleMark;
extern const QString SpeedButtonTtlFont;
extern const QString CheckBoxIndent;
extern const QString SpeedButtonHelp;
extern const QString SpeedButtonPanel1;
extern const QString SpeedButtonPanel2;
extern const QString AboutProgram; // the about box's first line

// The command bar.
extern const QString SpeedButtonSAVE;
extern const QString SpeedButtonCANCEL;
extern const QString SpeedButtonMOD;
extern const QString SpeedButtonRep;
extern const QString SpeedButtonDEL;
extern const QString SpeedButtonPREV;
extern const QString SpeedButtonCON;
extern const QString SpeedButtonDIS;
extern const QString SpeedButtonUP;
extern const QString SpeedButtonDN;
extern const QString SpeedButtonClose;

// The markup bar.
extern const QString SpeedButtonBold;
extern const QString SpeedButtonItalic;
extern const QString SpeedButtonUnder;
extern const QString SpeedButtonLine;
extern const QString SpeedButtonPhrase;
extern const QString SpeedButtonPRE;
extern const QString SpeedButtonTT;
extern const QString SpeedButtonBR;
extern const QString SpeedButtonBig;
extern const QString SpeedButtonSmall;
extern const QString SpeedButtonList;
extern const QString SpeedButtonFont;
// A bar's grip.
extern const QString GripTip;

// The file chooser's types, shared by the page and the title mark.
extern const QString OpenDialogFilter;

// The status bar.
extern const QString ButtonCancelTransfer;
extern const QString ButtonCancelTransferTip;
extern const QString Connected;
extern const QString NotConnected;
extern const QString Ready;
QString uploading(const QString& page);
QString downloading(const QString& remote);
QString bytesOf(const QString& done, const QString& total); // numbers as the locale writes them
QString bytes(const QString& done);
QString previewFailed(const QString& page);
// The page's encoding, which is what Quillet writes.
QString encodingShown(const QString& name, bool byteOrderMark);
QString encodingRefusedShown(const QString& label);

// Save, Replace all and the end of the program.
extern const QString RecalledNotSaved;
extern const QString ReplaceAllMissingBody;
extern const QString ReplaceAllMissingHtml;
QString noInsertionMarker(const QString& page);

// Delete-last and Edit-last.
extern const QString NoEntryEnd;
extern const QString ReplaceTypedText;
QString pageNotFound(const QString& page);
QString notInEncoding(const QString& page, const QString& encoding);

// Choosing and creating a page.
extern const QString CreateNewPage;
extern const QString ChooseNewPageEncoding;
extern const QString ShiftJisChoice;
extern const QString Utf8Choice;
QString cannotOpen(const QString& page);
QString cannotCreate(const QString& page);
extern const QString PageKept;
extern const QString NameTaken;
QString pageTooLarge(const QString& page, qulonglong rowLimit);
QString pageChangedMeanwhile(const QString& page);

// Publishing.
extern const QString UploadCanceled;
extern const QString DownloadCanceled;
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

} // namespace quillet::ui::texts
