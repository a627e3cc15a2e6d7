#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTest>
#include <QToolButton>
#include <QUrl>
#include <stdexcept>

#include "../document/temp_dir.h"
#include "main/main_window.h"
#include "main/tool_bar.h"
#include "platform/codepage.h"
#include "platform/error_text.h"
#include "platform/shell.h"
#include "test_prompter.h"

using namespace quillet;
using namespace quillet::testing;
using ui::TFormQuillet;

namespace {
const std::string kPage = "<HTML>\r\n<BODY>\r\n<!-INS-!>\r\n</BODY>\r\n</HTML>\r\n";

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.EditHtml->setText(QString::fromStdString(page));
    }
    void click(QToolButton* b) { QTest::mouseClick(b, Qt::LeftButton); }

    TestPrompter prompter;
    TempDir dir;
    std::string page = dir.file("index.html");
    TFormQuillet window;
};
} // namespace

TEST_F(MainWindowTest, StartsWithDocumentedControlsAndFloatingBars) {
    EXPECT_EQ(window.windowTitle(), "Quillet");
    EXPECT_EQ(window.size(), QSize(455, 460));
    EXPECT_EQ(window.EditTitle->text(), "EditTitle");
    EXPECT_EQ(window.Memo1->toPlainText(), "本文");
    EXPECT_EQ(window.EditHtml->geometry(), QRect(87, 4, 86, 20));
    EXPECT_EQ(window.SpeedButtonAbout->geometry(), QRect(388, 64, 45, 43));
    EXPECT_EQ(window.Memo1->geometry(), QRect(0, 113, 455, 460 - 113 - 24));
    EXPECT_TRUE(window.SpeedButtonCON->isEnabled());
    EXPECT_FALSE(window.SpeedButtonDIS->isEnabled());
    EXPECT_FALSE(window.SpeedButtonUP->isEnabled());
    EXPECT_FALSE(window.SpeedButtonDN->isEnabled());
    EXPECT_FALSE(window.EntryRecalled);
    for (auto* bar : {window.CoolBar1, window.CoolBar2}) {
        EXPECT_TRUE(bar->isFloating());
        EXPECT_TRUE(bar->floatWindow()->isVisible());
        EXPECT_FALSE(window.isAncestorOf(bar));
    }
    EXPECT_EQ(window.CoolBar1->size(), QSize(157, 228));
    EXPECT_EQ(window.CoolBar2->size(), QSize(157, 85));
    EXPECT_EQ(window.SpeedButtonDN->geometry(), QRect(11, 172, 130, 22));
    EXPECT_EQ(window.SpeedButtonFont->geometry(), QRect(112, 53, 36, 22));
    // The markup bar floats directly below the command bar, both at the window's right.
    const QRect w1 = window.CoolBar1->floatWindow()->frameGeometry();
    const QRect w2 = window.CoolBar2->floatWindow()->frameGeometry();
    EXPECT_GE(w1.left(), window.frameGeometry().right());
    EXPECT_EQ(w1.left(), w2.left());
    EXPECT_EQ(window.CoolBar2->floatWindow()->frameGeometry().top(),
              window.CoolBar1->floatWindow()->geometry().top() + 228);
}

// Every caption clears its control's edges, and the band's labels its left margin.
TEST_F(MainWindowTest, CaptionsFitInsideTheirControls) {
    for (QToolButton* b : window.findChildren<QToolButton*>()) {
        if (b->text().isEmpty() || b->objectName().isEmpty() || !b->objectName().startsWith("SpeedButton"))
            continue;
        EXPECT_LE(QFontMetrics(b->font()).horizontalAdvance(b->text()), b->width() - 8)
            << b->objectName().toStdString();
    }
    for (auto* bar : {window.CoolBar1, window.CoolBar2})
        for (QToolButton* b : bar->findChildren<QToolButton*>())
            EXPECT_LE(QFontMetrics(b->font()).horizontalAdvance(b->text()), b->width() - 8)
                << b->objectName().toStdString();
    for (QLabel* label : {window.Label1, window.Label2, window.Label4}) {
        EXPECT_GE(label->x(), 4) << label->objectName().toStdString();
        EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->width())
            << label->objectName().toStdString();
    }
    EXPECT_LE(window.Label4->geometry().right(), window.EditTitle->x());
}

TEST_F(MainWindowTest, SaveWritesEntryAndClearsTheEditor) {
    writeFile(page, kPage);
    window.TitleBold = true;
    window.TitleColor = 0x0000FF;
    window.TitleSize = "+2";
    window.CheckBoxIndent->setChecked(true);
    window.Memo1->setPlainText("a\nb\n");
    click(window.SpeedButtonSAVE);
    EXPECT_EQ(
        readFile(page),
        "<HTML>\r\n<BODY>\r\n<!-INS-!>\r\n"
        "<!-TTL-A-!>\r\r<B><FONT COLOR=\"#0000FF\" SIZE=\"+2\">\rEditTitle\r</FONT></B><BR>\r<!-TTL-B-!>\r\n"
        "<!-BDY-A-!><DL><DD>\r\na\r\nb\r\n<!-BDY-B-!></DL><HR>\r<!-END-!>\r\n</BODY>\r\n</HTML>\r\n");
    EXPECT_EQ(readFile(dir.file("index.BAK")), kPage);
    EXPECT_TRUE(window.EditTitle->text().isEmpty());
    EXPECT_TRUE(window.Memo1->toPlainText().isEmpty());
    EXPECT_FALSE(window.TitleBold);
    EXPECT_EQ(window.TitleColor, 0x0000FF);
    EXPECT_EQ(window.TitleSize, "+2");
    EXPECT_TRUE(window.CheckBoxIndent->isChecked());
    EXPECT_TRUE(prompter.asked.empty());
}

TEST_F(MainWindowTest, TextIsWrittenAsCp932WithReferencesForTheRest) {
    writeFile(page, kPage);
    window.EditTitle->setText(QStringLiteral("日記〜"));
    window.Memo1->setPlainText(QString::fromUtf8("絵文字\xF0\x9F\x98\x80です"));
    click(window.SpeedButtonSAVE);
    const std::string text = readFile(page);
    // 日記 and the wave dash as Windows writes them; the emoji as a character reference.
    EXPECT_NE(text.find("\x93\xfa\x8b\x4c\x81\x60"), std::string::npos);
    EXPECT_NE(text.find("\x8a\x47\x95\xb6\x8e\x9a&#128512;\x82\xc5\x82\xb7\r\n"), std::string::npos);
    EXPECT_EQ(text.find('?'), std::string::npos);
}

// A pasted Ctrl-Z (0x1A) would end the page's text for the next rewrite and drop everything
// after it; it goes in as a character reference.
TEST_F(MainWindowTest, EndOfTextCharacterCannotCutThePage) {
    writeFile(page, kPage);
    window.EditTitle->setText(QString("T") + QChar(0x1A));
    window.Memo1->setPlainText(QString("a") + QChar(0x1A) + "b");
    click(window.SpeedButtonSAVE);
    window.Memo1->setPlainText("second");
    click(window.SpeedButtonSAVE);
    const std::string text = readFile(page);
    EXPECT_EQ(text.find('\x1a'), std::string::npos);
    EXPECT_NE(text.find("a&#26;b\r\n"), std::string::npos);
    EXPECT_NE(text.find("T&#26;\r\n"), std::string::npos);
    EXPECT_TRUE(text.ends_with("</BODY>\r\n</HTML>\r\n"));
}

TEST_F(MainWindowTest, BodyLinesAreTheLinesTheEditorShows) {
    window.Memo1->setPlainText(QString("word ").repeated(60) + "\nshort\n");
    const auto lines = window.bodyLines(platform::cp932());
    ASSERT_GT(lines.size(), 3u);
    EXPECT_EQ(lines.back(), "short");
    std::string joined;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i)
        joined += lines[i];
    EXPECT_EQ(joined, QString("word ").repeated(60).toStdString());
    window.Memo1->clear();
    EXPECT_TRUE(window.bodyLines(platform::cp932()).empty());
}

TEST_F(MainWindowTest, ReplaceAllChecksTheBodyFirst) {
    writeFile(page, kPage);
    window.EntryRecalled = true;
    window.Memo1->setPlainText("</html>\n</body>");
    click(window.SpeedButtonRep);
    window.Memo1->setPlainText("</HTML>\n</BODY>");
    click(window.SpeedButtonRep);
    ASSERT_EQ(prompter.asked.size(), 2u);
    EXPECT_EQ(prompter.asked[0].text, ui::texts::ReplaceAllMissingBody);
    EXPECT_EQ(prompter.asked[1].text, ui::texts::ReplaceAllMissingHtml);
    EXPECT_EQ(prompter.asked[1].buttons, platform::Buttons::Ok);
    EXPECT_EQ(readFile(page), kPage);
    EXPECT_FALSE(exists(dir.file("index.BAK")));
    EXPECT_TRUE(window.EntryRecalled);
    EXPECT_EQ(window.Memo1->toPlainText(), "</HTML>\n</BODY>");

    window.Memo1->setPlainText("new\n</BODY></HTML>");
    click(window.SpeedButtonRep);
    EXPECT_EQ(readFile(page),
              "<HTML>\r\n<BODY>\r\n<!-INS-!>\r\n<!-TTL-A-!>\r\r\rEditTitle\r<BR>\r<!-TTL-B-!>\r\n"
              "<!-BDY-A-!>\r\nnew\r\n</BODY></HTML>\r\n<!-BDY-B-!><HR>\r<!-END-!>\r\n");
    EXPECT_FALSE(window.EntryRecalled);
}

TEST_F(MainWindowTest, PageWithoutMarkerLineStopsWithAMessage) {
    const std::string lfPage = "<HTML>\n<!-INS-!>\n</HTML>\n";
    writeFile(page, lfPage);
    window.EntryRecalled = true;
    click(window.SpeedButtonSAVE);
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_TRUE(prompter.asked[0].text.contains("<!-INS-!>"));
    EXPECT_EQ(readFile(page), lfPage);
    EXPECT_EQ(window.Memo1->toPlainText(), "本文");
    EXPECT_EQ(window.EditTitle->text(), "EditTitle");
    EXPECT_TRUE(window.EntryRecalled);
}

TEST_F(MainWindowTest, FileErrorIsShownInTheErrorBox) {
    writeFile(page, kPage);
    std::filesystem::create_directory(dir.file("index.TMP"));
    window.EntryRecalled = true;
    click(window.SpeedButtonSAVE);
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].kind, Asked::Error);
    EXPECT_EQ(prompter.asked[0].text, QStringLiteral("ファイルへのアクセスが拒否されました."));
    EXPECT_EQ(readFile(page), kPage);
    EXPECT_EQ(window.Memo1->toPlainText(), "本文"); // the editor keeps the entry
    EXPECT_TRUE(window.EntryRecalled);
}

// The error box adds "." only after a character that sorts above it: a server's reply line (which
// ends in its line end), a text that ends in a period, a blank or ")" gets none.
TEST(ErrorBox, ClosingPeriodOnlyAfterACharacterAboveThePeriod) {
    struct Case {
        QString message;
        QString shown;
    };
    const std::vector<Case> cases = {
        {QStringLiteral("ディスクがいっぱいです"), QStringLiteral("ディスクがいっぱいです.")},
        {"Not Connected", "Not Connected."},
        {"550 No such file\r\n", "550 No such file\r\n"},
        {"already said.", "already said."},
        {"blank ", "blank "},
        {"(421)", "(421)"},
        {"dash-", "dash-"},
        {"slash/", "slash/."},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::withClosingPeriod(c.message), c.shown) << c.message.toStdString();
        TestPrompter prompter;
        platform::showException(nullptr,
                                std::make_exception_ptr(std::runtime_error(c.message.toStdString())));
        ASSERT_EQ(prompter.asked.size(), 1u);
        EXPECT_EQ(prompter.asked[0].text, c.shown);
    }
}

TEST_F(MainWindowTest, MissingPageWritesNothingAndSaysNothing) {
    click(window.SpeedButtonSAVE);
    EXPECT_TRUE(prompter.asked.empty());
    EXPECT_FALSE(exists(page));
    EXPECT_EQ(window.Memo1->toPlainText(), "本文");
}

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

TEST_F(MainWindowTest, PreviewOpensAnExistingPageOnly) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    click(window.SpeedButtonPREV);
    EXPECT_TRUE(catcher.opened.isEmpty());
    writeFile(page, kPage);
    click(window.SpeedButtonPREV);
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(catcher.opened.size(), 1);
    EXPECT_EQ(catcher.opened[0], QUrl::fromLocalFile(QString::fromStdString(page)));
    EXPECT_TRUE(prompter.asked.empty());
}

// Nothing opened the page: the status bar says so in one line that names it.
TEST_F(MainWindowTest, PreviewSaysWhenNoBrowserOpensThePage) {
    writeFile(page, kPage);
    const QString shown = QString::fromStdString(page);
    const QString failed = ui::texts::previewFailed(shown);
    EXPECT_FALSE(failed.contains('\n'));
    struct LauncherGuard {
        ~LauncherGuard() { platform::setDesktopLauncher({}); }
    } guard;
    // The launcher gets the page, in the page's folder; its error status is a failure.
    const std::string launcher = dir.file("launcher.sh");
    writeFile(launcher, "#!/bin/sh\necho \"$PWD|$1\" > \"" + dir.file("asked") + "\"\nexit 4\n");
    std::filesystem::permissions(launcher, std::filesystem::perms::owner_all);
    for (const QString& program : {QString::fromStdString(launcher), QStringLiteral("false"),
                                   QString::fromStdString(dir.file("no-such-launcher"))}) {
        window.setStatusText("before");
        platform::setDesktopLauncher(program);
        click(window.SpeedButtonPREV);
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.statusText() == failed; }, 5000))
            << program.toStdString() << ": " << window.statusText().toStdString();
    }
    EXPECT_EQ(readFile(dir.file("asked")), dir.path().string() + "|" + page + "\n");

    // A launcher that starts the browser says nothing.
    window.setStatusText("before");
    platform::setDesktopLauncher("true");
    click(window.SpeedButtonPREV);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.findChildren<QProcess*>().isEmpty(); }, 5000));
    EXPECT_EQ(window.statusText(), "before");

    // Without a launcher of its own the window asks Qt, which here has none either.
    platform::setDesktopLauncher({});
    click(window.SpeedButtonPREV);
    EXPECT_EQ(window.statusText(), failed);
    EXPECT_TRUE(prompter.asked.empty());
}

TEST_F(MainWindowTest, ClosingWithARecalledEntryAsksFirst) {
    window.EntryRecalled = true;
    prompter.answers = {platform::Answer::Cancel};
    click(window.SpeedButtonClose);
    EXPECT_TRUE(window.isVisible());
    prompter.answers = {platform::Answer::Cancel};
    window.close(); // the close box, the window manager, log-out
    EXPECT_TRUE(window.isVisible());
    ASSERT_EQ(prompter.asked.size(), 2u);
    EXPECT_EQ(prompter.asked[0].text, ui::texts::RecalledNotSaved);
    EXPECT_EQ(prompter.asked[1].buttons, platform::Buttons::OkCancel);

    prompter.answers = {platform::Answer::Ok};
    click(window.SpeedButtonClose);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(prompter.asked.size(), 3u);
}

TEST_F(MainWindowTest, ClosingWithoutARecalledEntryAsksNothing) {
    click(window.SpeedButtonClose);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(prompter.asked.empty());
}

#include "main_window_test.moc"
