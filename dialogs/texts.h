#pragma once
// Every text the dialogs show, one section per dialog; captions are named after their control.
// A CR inside a message is a line break.

#include <QString>
#include <QStringList>

// The maker, as the about box names it.
namespace quillet::ui::maker {
extern const QString Name;
extern const QString Url;
extern const QString Mail;
} // namespace quillet::ui::maker

namespace quillet::ui::dialogs::texts {

// The OK and Cancel buttons of the markup dialogs.
extern const QString ButtonOk;
extern const QString ButtonNg;

namespace about {
QString webAddress(const QString& url);
QString mailAddress(const QString& mail);
} // namespace about

namespace help {
extern const QString FormHelp;
extern const QStringList Memo1;
} // namespace help

namespace list {
extern const QString FormList;
extern const QStringList Memo1;
extern const QString RadioGroupType;
extern const QStringList RadioGroupTypeItems; // as many as markup's list types
extern const QString GroupBoxStart;
} // namespace list

namespace font {
extern const QString FormFont;
extern const QString CheckBoxBold;
extern const QString CheckBoxItalic;
extern const QString SpeedButton1;
extern const QString Label1;
extern const QStringList Memo1;
} // namespace font

namespace color {
extern const QString FormColor;
extern const QString Panel1;
extern const QString LabelText;
extern const QString LabelVLink;
extern const QString LabelLink;
extern const QString LabelALink;
} // namespace color

namespace insertion {
extern const QString FormSetIns;
extern const QStringList Memo1;
} // namespace insertion

namespace site {
extern const QString FormLogin;
extern const QString EditTITLE;
extern const QString EditHost;
extern const QString EditPort;
extern const QString PortNote;
extern const QString EditPortDefault;
extern const QString EditUser;
extern const QString EditPassword;
extern const QString SavePasswd;
extern const QString Optional;
extern const QString EditHome;
extern const QString ButtonDir;
extern const QString UseProxy;
extern const QString EditProxy;
extern const QString EditProxyPort;
extern const QString DataConnection;
extern const QString RadioPassive;
extern const QString RadioActive;
extern const QString Security;
extern const QString RadioTLS;
extern const QString RadioPlain;
extern const QString LabelPlainWarning;
extern const QString Certificate;
extern const QString NoPin;
extern const QString ButtonPinClear;
extern const QString ButtonOK;
extern const QString ButtonADD;
extern const QString ButtonDEL;
extern const QString ButtonNG;
extern const QString ChooseFolder;
} // namespace site

namespace certificate {
extern const QString Caption;
extern const QString Untrusted;
extern const QString Subject;
extern const QString Issuer;
extern const QString Validity;
extern const QString ValidityRange;
extern const QString Fingerprint;
extern const QString Question;
extern const QString Yes;
extern const QString No;
extern const QString Reason; // one line of the reasons
} // namespace certificate

} // namespace quillet::ui::dialogs::texts
