#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <functional>
#include <memory>
#include <sys/stat.h>

#include "../document/temp_dir.h"
#include "dialogs/site_dialog.h"
#include "document/file_io.h"
#include "platform/folder_dialog.h"
#include "platform/settings_path.h"
#include "test_prompter.h"

using namespace quillet;
using namespace quillet::testing;
using ui::TFormLogin;

namespace {
const std::string kThreeSites =
    "\"one\",\"h1\",\"21\",\"u1\",\"p1\",\"\",\"\",\"/w/1\"\r\n"
    "\"two\",\"h2\",\"2121\",\"u2\",\"\",\"\",\"8080\",\"/w/2\"\n" // saved by a Linux editor
    "\"three\",\"h3\",\"21\",\"u3\",\"p3\",\"proxy\",\"\",\"\"\r\n";

class LoginDialogTest : public ::testing::Test {
protected:
    void TearDown() override { doc::setFaultHook(nullptr); }

    std::unique_ptr<TFormLogin> open() {
        auto dialog = std::make_unique<TFormLogin>(nullptr, QString::fromStdString(ini));
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        return dialog;
    }
    // Runs the dialog modally, acting on it once it is up; the dialog's result.
    int exec(TFormLogin& dialog, std::function<void(TFormLogin&)> action) {
        QTimer::singleShot(0, [&dialog, action] {
            dialog.activateWindow();
            if (QApplication::activeModalWidget() != &dialog || !QTest::qWaitForWindowActive(&dialog)) {
                ADD_FAILURE() << "the dialog is not the modal window";
                dialog.reject();
                return;
            }
            action(dialog);
            if (dialog.isVisible()) {
                ADD_FAILURE() << "the action left the dialog open";
                dialog.reject();
            }
        });
        return dialog.exec();
    }
    static void clickSite(TFormLogin& d, int row, Qt::MouseButton button = Qt::LeftButton) {
        const QRect r = d.ListBox1->visualItemRect(d.ListBox1->item(row));
        QTest::mouseClick(d.ListBox1->viewport(), button, {}, r.center());
    }
    static std::vector<QString> listed(const TFormLogin& d) {
        std::vector<QString> names;
        for (int i = 0; i < d.ListBox1->count(); ++i)
            names.push_back(d.ListBox1->item(i)->text());
        return names;
    }
    std::vector<QString> errors() const {
        std::vector<QString> texts;
        for (const Asked& a : prompter.asked)
            if (a.kind == Asked::Error)
                texts.push_back(a.text);
        return texts;
    }

    TestPrompter prompter;
    TempDir dir;
    std::string ini = dir.file("quillet.ini");
};
} // namespace

TEST_F(LoginDialogTest, WithoutFileOpensOnTheFieldsForAFirstSite) {
    auto d = open();
    EXPECT_EQ(d->windowTitle(), "接続先をｸﾘｯｸしてください or ESC");
    EXPECT_EQ(d->size(), QSize(262, 108 + 378)); // the panel grew by the connection options
    EXPECT_TRUE(d->panelShown());
    EXPECT_EQ(d->ListBox1->count(), 0);
    EXPECT_EQ(d->focusWidget(), d->EditTITLE);
    EXPECT_EQ(d->EditPort->text(), "21");
    EXPECT_TRUE(d->SavePasswd->isChecked());
    EXPECT_FALSE(d->UseProxy->isChecked());
    EXPECT_TRUE(d->ButtonOK->isDefault());
    // A new site is passive over TLS, with no certificate pinned.
    EXPECT_TRUE(d->RadioPassive->isChecked());
    EXPECT_TRUE(d->RadioTLS->isChecked());
    EXPECT_FALSE(d->LabelPlainWarning->isVisible());
    EXPECT_EQ(d->LabelPin->text(), "なし");
    EXPECT_FALSE(d->ButtonPinClear->isEnabled());

    // Tab goes through the panel in the documented order, the connection options before "接続".
    const std::vector<QWidget*> expected = {
        d->EditTITLE,      d->EditHost,     d->EditPort,    d->EditUser,  d->EditPassword,
        d->SavePasswd,     d->EditHome,     d->ButtonDir,   d->UseProxy,  d->EditProxy,
        d->EditProxyPort,  d->RadioPassive, d->RadioActive, d->RadioTLS,  d->RadioPlain,
        d->ButtonPinClear, d->ButtonOK,     d->ButtonADD,   d->ButtonDEL, d->ButtonNG};
    std::vector<QWidget*> order;
    for (QWidget* w = d->ListBox1->nextInFocusChain(); w != d->ListBox1; w = w->nextInFocusChain())
        if (std::find(expected.begin(), expected.end(), w) != expected.end())
            order.push_back(w);
    EXPECT_EQ(order, expected);
}

TEST_F(LoginDialogTest, ClickingASiteTogglesThePanelAndShowsTheSite) {
    writeFile(ini, kThreeSites);
    auto d = open();
    EXPECT_EQ(listed(*d), (std::vector<QString>{"one", "two", "three"}));
    EXPECT_FALSE(d->panelShown());
    EXPECT_EQ(d->height(), 108);

    clickSite(*d, 1, Qt::RightButton); // only the left button chooses
    EXPECT_FALSE(d->panelShown());

    clickSite(*d, 1);
    EXPECT_TRUE(d->panelShown());
    EXPECT_EQ(d->height(), 108 + 378);
    EXPECT_EQ(d->EditTITLE->text(), "two");
    EXPECT_EQ(d->EditHost->text(), "h2");
    EXPECT_EQ(d->EditPort->text(), "2121");
    EXPECT_EQ(d->EditUser->text(), "u2");
    EXPECT_EQ(d->EditHome->text(), "/w/2");
    EXPECT_EQ(d->EditProxyPort->text(), "8080");
    EXPECT_FALSE(d->SavePasswd->isChecked()); // no stored password
    EXPECT_TRUE(d->UseProxy->isChecked());    // a proxy port alone is a proxy

    clickSite(*d, 2);
    EXPECT_FALSE(d->panelShown());
    EXPECT_EQ(d->EditProxy->text(), "proxy");
    EXPECT_TRUE(d->SavePasswd->isChecked());
    EXPECT_TRUE(d->UseProxy->isChecked());
    clickSite(*d, 0);
    EXPECT_TRUE(d->panelShown());
    EXPECT_FALSE(d->UseProxy->isChecked());
}

// Only the left button chooses: the others leave the chosen site, its fields and the panel.
// Each press toggles the panel, the second of a double click too.
TEST_F(LoginDialogTest, OnlyTheLeftButtonChoosesAndEveryPressToggles) {
    writeFile(ini, kThreeSites);
    auto d = open();
    // As the desktop delivers one: press, release, the second press as a double click, release.
    auto doubleClick = [&d](int row, Qt::MouseButton button) {
        QWidget* list = d->ListBox1->viewport();
        const QPoint at = d->ListBox1->visualItemRect(d->ListBox1->item(row)).center();
        QTest::mouseClick(list, button, {}, at);
        QTest::mouseDClick(list, button, {}, at);
        QTest::mouseRelease(list, button, {}, at);
    };
    clickSite(*d, 0);
    ASSERT_TRUE(d->panelShown());
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        clickSite(*d, 1, button);
        doubleClick(2, button);
        EXPECT_EQ(d->ListBox1->currentRow(), 0);
        EXPECT_EQ(d->ListBox1->selectedItems(), QList<QListWidgetItem*>{d->ListBox1->item(0)});
        EXPECT_EQ(d->EditHost->text(), "h1");
        EXPECT_TRUE(d->panelShown());
    }
    doubleClick(2, Qt::LeftButton);
    EXPECT_TRUE(d->panelShown()); // closed and opened again
    EXPECT_EQ(d->EditHost->text(), "h3");
    clickSite(*d, 2);
    EXPECT_FALSE(d->panelShown());
    doubleClick(2, Qt::LeftButton);
    EXPECT_FALSE(d->panelShown());
}

// Enter connects to the highlighted site, so moving the highlight must bring its details.
TEST_F(LoginDialogTest, KeyboardSelectionFillsTheFieldsAndEnterConnectsToIt) {
    writeFile(ini, kThreeSites);
    TFormLogin d(nullptr, QString::fromStdString(ini));
    const int result = exec(d, [](TFormLogin& d) {
        clickSite(d, 0);
        EXPECT_EQ(d.EditHost->text(), "h1");
        QTest::keyClick(d.ListBox1, Qt::Key_Down);
        EXPECT_TRUE(d.panelShown()); // keys do not toggle the panel
        EXPECT_EQ(d.EditHost->text(), "h2");
        QTest::keyClick(d.ListBox1, Qt::Key_End);
        EXPECT_EQ(d.EditHost->text(), "h3");
        QTest::keyClick(d.ListBox1, Qt::Key_Up);
        EXPECT_EQ(d.EditHost->text(), "h2");
        QTest::keyClick(d.ListBox1, Qt::Key_Return);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    const ui::LoginTarget t = d.target();
    EXPECT_EQ(std::tie(t.host, t.port, t.user, t.password, t.proxyPort),
              std::tuple("h2", 2121, "u2", "", 8080));
}

TEST_F(LoginDialogTest, AddedSitesAreWrittenEvenWhenCancelled) {
    auto d = open();
    QTest::mouseClick(d->ButtonADD, Qt::LeftButton); // no name: nothing
    EXPECT_EQ(d->ListBox1->count(), 0);

    d->EditTITLE->setText("テスト"); // QTest types ASCII only
    QTest::keyClicks(d->EditHost, "192.0.2.1");
    QTest::keyClicks(d->EditUser, "u1");
    QTest::keyClicks(d->EditPassword, "secret");
    QTest::mouseClick(d->SavePasswd, Qt::LeftButton); // clear: the password is not stored
    QTest::keyClicks(d->EditProxyPort, "8080");       // stored though the proxy box is off
    QTest::mouseClick(d->ButtonADD, Qt::LeftButton);
    EXPECT_EQ(listed(*d), std::vector<QString>{"テスト"});
    EXPECT_EQ(d->EditPassword->text(), "secret"); // the fields keep their contents

    d->EditTITLE->setText("say \"hi\"");
    QTest::mouseClick(d->SavePasswd, Qt::LeftButton);
    QTest::mouseClick(d->ButtonADD, Qt::LeftButton);
    QTest::mouseClick(d->ButtonNG, Qt::LeftButton);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(d->result(), QDialog::Rejected);
    EXPECT_EQ(readFile(ini), "\"\x83\x65\x83\x58\x83\x67\",\"192.0.2.1\",\"21\",\"u1\",\"\",\"\",\"8080\","
                             "\"\",\"passive\",\"tls\",\"\"\r\n"
                             "\"say "
                             "\"\"hi\"\"\",\"192.0.2.1\",\"21\",\"u1\",\"secret\",\"\",\"8080\",\"\","
                             "\"passive\",\"tls\",\"\"\r\n");
}

// A site from before the options is shown as it was used: active and plain, with the warning.
TEST_F(LoginDialogTest, ChosenSiteBringsItsOptionsAndPlainFtpIsWarnedOf) {
    const std::string pin = "AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:"
                            "AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89";
    writeFile(ini, "\"old\",\"h1\",\"21\",\"u1\",\"\",\"\",\"\",\"\"\r\n"
                   "\"new\",\"h2\",\"21\",\"u2\",\"\",\"\",\"\",\"\",\"passive\",\"tls\",\"" +
                       pin + "\"\r\n");
    auto d = open();
    clickSite(*d, 0);
    EXPECT_TRUE(d->RadioActive->isChecked());
    EXPECT_TRUE(d->RadioPlain->isChecked());
    EXPECT_TRUE(d->LabelPlainWarning->isVisible());
    EXPECT_TRUE(d->LabelPlainWarning->text().contains("パスワード"));
    EXPECT_FALSE(d->LabelPin->isVisible()); // no certificate without TLS
    ui::LoginTarget t = d->target();
    EXPECT_EQ(std::tie(t.mode, t.security, t.pin),
              std::tuple(doc::DataMode::Active, doc::Security::Plain, ""));

    QTest::mouseClick(d->RadioTLS, Qt::LeftButton);
    EXPECT_FALSE(d->LabelPlainWarning->isVisible());
    EXPECT_TRUE(d->LabelPin->isVisible());
    EXPECT_EQ(d->target().security, doc::Security::TlsRequired);

    clickSite(*d, 1); // closes the panel, fills the fields
    clickSite(*d, 1);
    EXPECT_TRUE(d->RadioPassive->isChecked());
    EXPECT_TRUE(d->RadioTLS->isChecked());
    EXPECT_FALSE(d->LabelPlainWarning->isVisible());
    EXPECT_TRUE(d->LabelPin->text().startsWith("AB:CD:EF"));
    EXPECT_EQ(d->LabelPin->toolTip(), QString::fromStdString(pin));
    t = d->target();
    EXPECT_EQ(std::tie(t.mode, t.security, t.pin),
              std::tuple(doc::DataMode::Passive, doc::Security::TlsRequired, pin));

    // After a certificate changed, the author removes the pin to be asked again.
    QTest::mouseClick(d->ButtonPinClear, Qt::LeftButton);
    EXPECT_EQ(d->LabelPin->text(), "なし");
    EXPECT_FALSE(d->ButtonPinClear->isEnabled());
    EXPECT_EQ(d->target().pin, "");
    d->reject();
}

TEST_F(LoginDialogTest, AddStoresTheOptionsAsChosen) {
    writeFile(ini, "\"pinned\",\"h\",\"21\",\"u\",\"\",\"\",\"\",\"\",\"passive\",\"tls\",\"AB:CD\"\r\n");
    auto d = open();
    clickSite(*d, 0);
    d->EditTITLE->setText("copy"); // keeps the chosen site's pin
    QTest::mouseClick(d->RadioActive, Qt::LeftButton);
    QTest::mouseClick(d->ButtonADD, Qt::LeftButton);
    d->EditTITLE->setText("plain");
    QTest::mouseClick(d->RadioPlain, Qt::LeftButton);
    QTest::mouseClick(d->ButtonPinClear, Qt::LeftButton);
    QTest::mouseClick(d->ButtonADD, Qt::LeftButton);
    d->reject();
    EXPECT_EQ(readFile(ini),
              "\"pinned\",\"h\",\"21\",\"u\",\"\",\"\",\"\",\"\",\"passive\",\"tls\",\"AB:CD\"\r\n"
              "\"copy\",\"h\",\"21\",\"u\",\"\",\"\",\"\",\"\",\"active\",\"tls\",\"AB:CD\"\r\n"
              "\"plain\",\"h\",\"21\",\"u\",\"\",\"\",\"\",\"\"\r\n"); // as an earlier Quillet wrote it
}

TEST_F(LoginDialogTest, DeletingTheSecondOfThreeKeepsTheOthersWhole) {
    writeFile(ini, kThreeSites);
    auto d = open();
    QTest::mouseClick(d->ButtonDEL, Qt::LeftButton); // nothing selected: nothing
    EXPECT_EQ(d->ListBox1->count(), 3);
    clickSite(*d, 1);
    QTest::mouseClick(d->ButtonDEL, Qt::LeftButton);
    EXPECT_EQ(listed(*d), (std::vector<QString>{"one", "three"}));
    EXPECT_TRUE(d->ListBox1->selectedItems().isEmpty());
    EXPECT_EQ(d->EditTITLE->text(), "two"); // the fields still show what they showed
    d->close();                             // the window's close box
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(readFile(ini), "\"one\",\"h1\",\"21\",\"u1\",\"p1\",\"\",\"\",\"/w/1\"\r\n"
                             "\"three\",\"h3\",\"21\",\"u3\",\"p3\",\"proxy\",\"\",\"\"\r\n");
}

// Closing is never impossible: a file that cannot be written is reported once and the dialog
// closes, leaving the old file as it was.
TEST_F(LoginDialogTest, UnwritableFileIsReportedOnceAndTheDialogCloses) {
    writeFile(ini, kThreeSites);
    doc::setFaultHook([](doc::FileError::Step s, const std::string&) {
        return s == doc::FileError::Step::Create ? EACCES : 0;
    });
    TFormLogin d(nullptr, QString::fromStdString(ini));
    EXPECT_EQ(exec(d, [](TFormLogin& d) { QTest::keyClick(d.ListBox1, Qt::Key_Escape); }), QDialog::Rejected);
    EXPECT_EQ(errors(), std::vector<QString>{"ファイルへのアクセスが拒否されました."});
    EXPECT_EQ(readFile(ini), kThreeSites);
}

TEST_F(LoginDialogTest, WriteProtectedFileIsReportedAndKept) {
    writeFile(ini, kThreeSites);
    ::chmod(ini.c_str(), 0444);
    TFormLogin d(nullptr, QString::fromStdString(ini));
    EXPECT_EQ(exec(d,
                   [](TFormLogin& d) {
                       clickSite(d, 0);
                       QTest::mouseClick(d.ButtonDEL, Qt::LeftButton);
                       QTest::mouseClick(d.ButtonNG, Qt::LeftButton);
                   }),
              QDialog::Rejected);
    EXPECT_EQ(errors(), std::vector<QString>{"ファイルへのアクセスが拒否されました."});
    EXPECT_EQ(readFile(ini), kThreeSites);
    struct stat st {};
    ASSERT_EQ(::stat(ini.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
}

// The per-user configuration folder may not exist yet on the first close.
TEST_F(LoginDialogTest, SavingCreatesTheSettingsFolder) {
    ini = dir.file("config/Quillet/quillet.ini");
    open()->reject();
    EXPECT_TRUE(exists(ini));
}

TEST_F(LoginDialogTest, UnreadableFileIsReportedAndNotReplaced) {
    writeFile(ini, kThreeSites);
    doc::setFaultHook(
        [](doc::FileError::Step s, const std::string&) { return s == doc::FileError::Step::Read ? EIO : 0; });
    auto d = open();
    doc::setFaultHook(nullptr);
    EXPECT_EQ(errors(), std::vector<QString>{"I/O エラー (5)"});
    EXPECT_TRUE(d->panelShown());
    d->reject();
    EXPECT_EQ(readFile(ini), kThreeSites);
}

// Bytes that are not CP932 cannot be shown faithfully; they are kept as they are, never
// replaced in the file, and refused when they would be sent.
TEST_F(LoginDialogTest, SitesFromAnotherCodePageAreKeptAndNotSent) {
    const std::string line = "\"\x83\x5c\x95\x5c\",\"h\xff\",\"21\",\"\",\"\",\"\",\"\",\"\"\r\n";
    writeFile(ini, line);
    TFormLogin d(nullptr, QString::fromStdString(ini));
    EXPECT_EQ(exec(d,
                   [](TFormLogin& d) {
                       EXPECT_EQ(listed(d), std::vector<QString>{"ソ表"});
                       clickSite(d, 0);
                       EXPECT_EQ(d.EditHost->text(), QString("h") + QChar(QChar::ReplacementCharacter));
                       QTest::mouseClick(d.ButtonOK, Qt::LeftButton); // refused: stays open
                       EXPECT_TRUE(d.isVisible());
                       d.EditHost->setText("host\U0001F600");
                       QTest::mouseClick(d.ButtonOK, Qt::LeftButton);
                       EXPECT_TRUE(d.isVisible());
                       QTest::mouseClick(d.ButtonNG, Qt::LeftButton);
                   }),
              QDialog::Rejected);
    EXPECT_EQ(errors().size(), 2u);
    EXPECT_TRUE(errors().front().startsWith("「ﾎｽﾄ・ｱﾄﾞﾚｽ」"));
    EXPECT_EQ(readFile(ini), line);
}

TEST_F(LoginDialogTest, TargetTakesTheFieldsAsTheyStand) {
    auto d = open();
    d->EditPort->setText("ftp");
    d->EditProxy->setText("px");
    d->EditProxyPort->setText("8080");
    d->UseProxy->setChecked(true);
    ui::LoginTarget t = d->target();
    EXPECT_EQ(t.port, 21); // not a number
    EXPECT_EQ(std::tie(t.proxy, t.proxyPort), std::tuple("px", 8080));
    // With the box off nothing of a proxy is handed over, so an earlier one is not reused.
    d->UseProxy->setChecked(false);
    t = d->target();
    EXPECT_EQ(std::tie(t.proxy, t.proxyPort), std::tuple("", 0));
}

TEST_F(LoginDialogTest, FolderButtonStartsInTheCurrentFolder) {
    auto d = open();
    prompter.folders = {std::nullopt, QString("/srv/www")};
    QTest::mouseClick(d->ButtonDir, Qt::LeftButton);
    EXPECT_EQ(d->EditHome->text(), ""); // cancelled
    QTest::mouseClick(d->ButtonDir, Qt::LeftButton);
    EXPECT_EQ(d->EditHome->text(), "/srv/www");
    EXPECT_EQ(prompter.folderDialogs.at(1), std::pair(QString("ディレクトリの選択"), QDir::currentPath()));
}

TEST_F(LoginDialogTest, FolderChooserCreatesATypedFolderWhenAllowed) {
    const QString base = QString::fromStdString(dir.path().string());
    for (auto answer : {platform::Answer::No, platform::Answer::Yes}) {
        platform::FolderDialog chooser(nullptr, "ディレクトリの選択", base);
        chooser.show();
        auto* name = chooser.findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText("new/deeper");
        prompter.answers = {answer};
        chooser.accept();
        const bool yes = answer == platform::Answer::Yes;
        EXPECT_EQ(QDir(base + "/new/deeper").exists(), yes);
        EXPECT_EQ(chooser.isVisible(), !yes);
        if (yes) {
            EXPECT_EQ(chooser.selectedFiles(), QStringList{base + "/new/deeper"});
        }
    }
    EXPECT_EQ(prompter.asked.back().text, "指定されたディレクトリが存在しません。作成しますか？");
}

TEST(SettingsPath, BesideTheExecutableUnlessItsFolderIsReadOnly) {
    TempDir dir;
    const QString base = QString::fromStdString(dir.path().string());
    writeFile(dir.file("file"), "");
    EXPECT_EQ(platform::settingsFilePathFor(base + "/quillet", "/cfg"), base + "/quillet.ini");
    EXPECT_EQ(platform::settingsFilePathFor(base + "/quillet.bin", "/cfg"), base + "/quillet.ini");
    EXPECT_EQ(platform::settingsFilePathFor(base + "/file/quillet", "/cfg"), "/cfg/quillet.ini");
}

TEST(SettingsPath, AnInstalledProgramKeepsItInTheUserConfigurationFolder) {
    struct Case {
        const char* folder;
        bool writable;
        bool beside;
    };
    for (const Case& c : {Case{"/work/quillet/build/release/main", true, true},
                          Case{"/home/u/Quillet", true, true}, Case{"/opt/binaries", true, true},
                          Case{"/usr/local/bin", true, false}, Case{"/home/u/.local/bin/", true, false},
                          Case{"/opt/quillet/bin/.", true, false}, Case{"/home/u/Quillet", false, false}}) {
        const QString folder = QString::fromLatin1(c.folder);
        EXPECT_EQ(platform::settingsBesideExecutable(folder, c.writable), c.beside)
            << c.folder << (c.writable ? " (writable)" : "");
    }

    // The real path: a writable prefix's bin folder still sends the file to the fallback.
    TempDir dir;
    const QString bin = QString::fromStdString(dir.path().string()) + "/prefix/bin";
    ASSERT_TRUE(QDir().mkpath(bin));
    EXPECT_EQ(platform::settingsFilePathFor(bin + "/quillet", "/cfg"), "/cfg/quillet.ini");
}

// A trusted certificate is pinned to the stored site the connect came from, in the settings
// file; the other sites keep their lines byte for byte. A site only typed in keeps no pin.
TEST(PinCertificate, PinsTheStoredSiteOnly) {
    TempDir dir;
    const QString ini = QString::fromStdString(dir.file("quillet.ini"));
    writeFile(dir.file("quillet.ini"), kThreeSites);
    const std::string pin = "AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:"
                            "00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF";
    ui::LoginTarget typed;
    typed.title = "two";
    typed.host = "h2";
    typed.port = 21; // not the stored 2121
    typed.user = "u2";
    EXPECT_FALSE(ui::pinCertificate(ini, typed, pin));
    EXPECT_EQ(readFile(dir.file("quillet.ini")), kThreeSites);

    typed.port = 2121;
    EXPECT_TRUE(ui::pinCertificate(ini, typed, pin));
    const std::string saved = readFile(dir.file("quillet.ini"));
    EXPECT_EQ(saved, "\"one\",\"h1\",\"21\",\"u1\",\"p1\",\"\",\"\",\"/w/1\"\r\n"
                     "\"two\",\"h2\",\"2121\",\"u2\",\"\",\"\",\"8080\",\"/w/2\",\"active\",\"plain\",\"" +
                         pin +
                         "\"\r\n"
                         "\"three\",\"h3\",\"21\",\"u3\",\"p3\",\"proxy\",\"\",\"\"\r\n");
}
