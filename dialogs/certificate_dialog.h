#pragma once
// The question for a server certificate that is not trusted: its subject, issuer, validity,
// SHA-256 fingerprint and why it is not trusted, and whether to trust it for this site (a yes
// pins it to the site). And the warning for a pinned certificate that changed, which is never a
// question: such a connection is refused.

#include <QDialog>
#include <QString>
#include <string>

#include "commands/connect_failure.h"
#include "platform/tls_channel.h"

class QPushButton;

namespace quillet::ui {

class TFormCertificate : public QDialog {
    Q_OBJECT
public:
    // host as the author typed it.
    TFormCertificate(QWidget* owner, const QString& host, const platform::CertificateInfo& certificate);

    QPushButton* ButtonYes = nullptr;
    QPushButton* ButtonNo = nullptr; // the default: nothing is trusted by a hasty Enter
};

// Asks through the installed question: the dialog, unless a test put its own in place. True when
// the author trusts the certificate for the site.
class CertificateQuestion {
public:
    virtual ~CertificateQuestion() = default;
    virtual bool trust(QWidget* parent, const QString& host,
                       const platform::CertificateInfo& certificate) = 0;
};
bool askToTrust(QWidget* parent, const QString& host, const platform::CertificateInfo& certificate);
void setCertificateQuestion(CertificateQuestion* replacement); // nullptr restores the dialog

// The reasons and the warning are the commands' own texts, shared with the command line.
using commands::certificateProblemText;
using commands::pinChangedText;

} // namespace quillet::ui
