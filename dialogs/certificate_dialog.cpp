#include "dialogs/certificate_dialog.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "dialogs/texts.h"

namespace quillet::ui {

namespace {
namespace texts = dialogs::texts::certificate;

// A fingerprint in two rows of 16 bytes.
QString fingerprintRows(const std::string& sha256) {
    QString text = QString::fromStdString(sha256);
    if (text.size() > 48)
        text.replace(47, 1, QChar('\n'));
    return text;
}

CertificateQuestion*& installed() {
    static CertificateQuestion* question = nullptr;
    return question;
}
} // namespace

TFormCertificate::TFormCertificate(QWidget* owner, const QString& host,
                                   const platform::CertificateInfo& certificate)
    : QDialog(owner) {
    setObjectName(QStringLiteral("FormCertificate"));
    setWindowTitle(texts::Caption);
    setModal(true);
    if (owner)
        setFont(owner->font());

    auto* icon = new QLabel(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion, nullptr, this).pixmap(iconSize));
    icon->setAlignment(Qt::AlignTop);

    QStringList reasons;
    for (platform::CertificateProblem problem : certificate.problems)
        reasons << texts::Reason.arg(certificateProblemText(problem));
    auto* intro = new QLabel(QStringLiteral("<b>%1</b><br>%2")
                                 .arg(texts::Untrusted.arg(host).toHtmlEscaped(),
                                      reasons.join(QChar('\n')).toHtmlEscaped().replace('\n', "<br>")),
                             this);
    intro->setObjectName(QStringLiteral("LabelReasons"));

    auto* facts = new QGridLayout;
    facts->setColumnStretch(1, 1);
    auto fact = [&](const QString& caption, const QString& value, const char* name) {
        const int row = facts->rowCount();
        auto* label = new QLabel(caption, this);
        auto* text = new QLabel(value, this);
        text->setObjectName(QLatin1String(name));
        text->setTextFormat(Qt::PlainText);
        text->setWordWrap(true);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setBuddy(text);
        facts->addWidget(label, row, 0, Qt::AlignTop);
        facts->addWidget(text, row, 1);
        return text;
    };
    fact(texts::Subject, QString::fromStdString(certificate.subject), "LabelSubject");
    fact(texts::Issuer, QString::fromStdString(certificate.issuer), "LabelIssuer");
    fact(texts::Validity,
         texts::ValidityRange.arg(QString::fromStdString(certificate.notBefore),
                                  QString::fromStdString(certificate.notAfter)),
         "LabelValidity");
    QLabel* fingerprint = fact(texts::Fingerprint, fingerprintRows(certificate.sha256), "LabelFingerprint");
    fingerprint->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    fingerprint->setWordWrap(false); // its rows as they are

    auto* question = new QLabel(texts::Question, this);
    question->setObjectName(QStringLiteral("LabelQuestion"));

    ButtonYes = new QPushButton(texts::Yes, this);
    ButtonYes->setObjectName(QStringLiteral("ButtonYes"));
    ButtonNo = new QPushButton(texts::No, this);
    ButtonNo->setObjectName(QStringLiteral("ButtonNo"));
    ButtonYes->setAutoDefault(false);
    ButtonNo->setDefault(true);
    ButtonNo->setFocus();
    connect(ButtonYes, &QPushButton::clicked, this, &QDialog::accept);
    connect(ButtonNo, &QPushButton::clicked, this, &QDialog::reject); // so does Esc

    auto* text = new QVBoxLayout;
    text->addWidget(intro);
    text->addSpacing(6);
    text->addLayout(facts);
    text->addSpacing(6);
    text->addWidget(question);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addSpacing(8);
    top->addLayout(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonYes);
    buttons->addWidget(ButtonNo);
    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addSpacing(8);
    all->addLayout(buttons);
    all->setSizeConstraint(QLayout::SetFixedSize);
}

bool askToTrust(QWidget* parent, const QString& host, const platform::CertificateInfo& certificate) {
    if (CertificateQuestion* question = installed())
        return question->trust(parent, host, certificate);
    TFormCertificate dialog(parent, host, certificate);
    return dialog.exec() == QDialog::Accepted;
}

void setCertificateQuestion(CertificateQuestion* replacement) { installed() = replacement; }

} // namespace quillet::ui
