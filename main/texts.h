#pragma once
// Every text the main window shows or asks: its controls' captions (named after the control),
// its status line, its questions and its messages. A CR inside a message is a line break.

#include <QString>

#include "commands/texts.h"

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
using commands::texts::noInsertionMarker;
using commands::texts::ReplaceAllMissingBody;
using commands::texts::ReplaceAllMissingHtml;

// Delete-last and Edit-last.
using commands::texts::NoEntryEnd;
extern const QString ReplaceTypedText;
QString pageNotFound(const QString& page);
QString notInEncoding(const QString& page, const QString& encoding);

// Choosing and creating a page.
extern const QString CreateNewPage;
extern const QString ChooseNewPageEncoding;
extern const QString ShiftJisChoice;
extern const QString Utf8Choice;
QString cannotOpen(const QString& page);
using commands::texts::cannotCreate;
extern const QString PageKept;
using commands::texts::NameTaken;
QString pageTooLarge(const QString& page, qulonglong rowLimit);
QString pageChangedMeanwhile(const QString& page);

// Publishing.
extern const QString UploadCanceled;
extern const QString DownloadCanceled;
using commands::texts::downloadIncomplete;
using commands::texts::DownloadNotInstalled;
using commands::texts::replaceMarkedPage;
using commands::texts::uploadSizeDiffers;

// A connect, while it waits and when it did not end connected: what happened and what to do.
using commands::texts::ClosedByServer;
using commands::texts::ConnectCanceled;
using commands::texts::connectFailed;
using commands::texts::connecting;
using commands::texts::ConnectRefused;
using commands::texts::HostNotFound;
using commands::texts::loginRefused;
using commands::texts::LookupTimedOut;
using commands::texts::NoAnswer;
using commands::texts::NotAnFtpReply;
using commands::texts::serverBusy;
using commands::texts::Unreachable;
// A connect over TLS: what it is doing, and why it failed.
using commands::texts::ClearBeforeTls;
using commands::texts::LoggingIn;
using commands::texts::NoDataProtection;
using commands::texts::NoTls;
using commands::texts::NotTls;
using commands::texts::PinChanged;
using commands::texts::ReasonSeparator;
using commands::texts::Securing;
using commands::texts::TlsEnded;
using commands::texts::tlsFailed;
using commands::texts::untrusted;

} // namespace quillet::ui::texts
