#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "dialogs/certificate_dialog.h"
#include "platform/prompter.h"

using namespace quillet;
using platform::CertificateInfo;
using platform::CertificateProblem;
using ui::TFormCertificate;

namespace {
const CertificateInfo kSelfSigned{"O=Quillet Test,CN=localhost",
                                  "O=Quillet Test,CN=localhost",
                                  "2020-01-01 00:00:00 UTC",
                                  "2020-02-01 00:00:00 UTC",
                                  "AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:"
                                  "00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF",
                                  {CertificateProblem::SelfSigned, CertificateProblem::Expired}};

// Asks through the real dialog, acting on it once it is up; an action that leaves it open fails.
bool ask(const std::function<void(TFormCertificate&)>& action) {
    bool shown = false;
    QTimer::singleShot(0, [&] {
        TFormCertificate* dialog = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<TFormCertificate*>(w); d && d->isVisible())
                dialog = d;
        if (!dialog)
            return;
        shown = QApplication::activeModalWidget() == dialog;
        dialog->activateWindow();
        if (!QTest::qWaitForWindowActive(dialog))
            ADD_FAILURE() << "the question is not the active window";
        action(*dialog);
        if (dialog->isVisible()) {
            ADD_FAILURE() << "the action left the question open";
            dialog->done(-1);
        }
    });
    const bool trusted = ui::askToTrust(nullptr, "ftp.example.jp", kSelfSigned);
    EXPECT_TRUE(shown) << "no modal certificate question";
    return trusted;
}

QString labelText(TFormCertificate& d, const char* name) {
    auto* label = d.findChild<QLabel*>(name);
    return label ? label->text() : QString("(no %1)").arg(name);
}
} // namespace

TEST(CertificateDialog, ShowsTheFactsAndTrustsOnlyOnYes) {
    EXPECT_FALSE(ask([](TFormCertificate& d) {
        EXPECT_EQ(d.windowTitle(), "確認");
        const QString reasons = labelText(d, "LabelReasons");
        EXPECT_TRUE(reasons.contains("ftp.example.jp の証明書は信頼できません")) << reasons.toStdString();
        EXPECT_TRUE(reasons.contains("自己署名の証明書です"));
        EXPECT_TRUE(reasons.contains("有効期限が切れています"));
        EXPECT_EQ(labelText(d, "LabelSubject"), "O=Quillet Test,CN=localhost");
        EXPECT_EQ(labelText(d, "LabelIssuer"), "O=Quillet Test,CN=localhost");
        EXPECT_EQ(labelText(d, "LabelValidity"), "2020-01-01 00:00:00 UTC ～ 2020-02-01 00:00:00 UTC");
        EXPECT_EQ(labelText(d, "LabelFingerprint"), "AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89\n"
                                                    "00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF");
        EXPECT_TRUE(labelText(d, "LabelQuestion").contains("信頼しますか"));
        EXPECT_EQ(d.ButtonYes->text(), "はい(&Y)");
        EXPECT_EQ(d.ButtonNo->text(), "いいえ(&N)");
        QTest::keyClick(&d, Qt::Key_Return); // the default is No
    }));
    EXPECT_FALSE(ask([](TFormCertificate& d) { QTest::keyClick(&d, Qt::Key_Escape); }));
    EXPECT_TRUE(ask([](TFormCertificate& d) { QTest::mouseClick(d.ButtonYes, Qt::LeftButton); }));
}

TEST(CertificateDialog, TestsAnswerInsteadOfTheDialog) {
    struct Answering : ui::CertificateQuestion {
        std::vector<std::pair<QString, CertificateInfo>> asked;
        bool trust(QWidget*, const QString& host, const CertificateInfo& certificate) override {
            asked.emplace_back(host, certificate);
            return true;
        }
    } answering;
    ui::setCertificateQuestion(&answering);
    const bool trusted = ui::askToTrust(nullptr, "h", kSelfSigned);
    ui::setCertificateQuestion(nullptr);
    EXPECT_TRUE(trusted);
    ASSERT_EQ(answering.asked.size(), 1u);
    EXPECT_EQ(answering.asked[0], std::pair(QString("h"), kSelfSigned));
}

TEST(CertificateDialog, ChangedPinIsAWarningWithBothFingerprints) {
    const QString text =
        platform::withClosingPeriod(ui::pinChangedText("ftp.example.jp", "11:22", kSelfSigned));
    EXPECT_TRUE(text.startsWith(
        "ftp.example.jp の証明書が、このサイトで信頼した証明書と違うため、接続を中止しました"));
    EXPECT_TRUE(text.contains("信頼した証明書: 11:22\r"));
    EXPECT_TRUE(text.contains(QString("今回の証明書: ") + QString::fromStdString(kSelfSigned.sha256)));
    EXPECT_TRUE(text.endsWith("解除してください."));
}
