#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>

#include "../document/temp_dir.h"
#include "document/page_lock.h"
#include "main/main_window.h"
#include "test_prompter.h"

using namespace quillet;
using namespace quillet::testing;
using ui::TFormQuillet;

namespace {
const std::string kPage = "<HTML>\r\n<BODY>\r\n<!-INS-!>\r\n"
                          "<!-BDY-A-!>\r\nolder\r\n<!-BDY-B-!><HR>\r\n<!-END-!>\r\n</BODY>\r\n</HTML>\r\n";
const std::string kMark = "<IMG SRC=\"/web/mark.gif\">";

std::vector<std::string> filesIn(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Sees the window as it is at the moment the title-mark chooser opens.
class WatchingPrompter : public TestPrompter {
public:
    std::function<void()> onChoose;
    std::optional<QString> chooseOpenFile(QWidget* parent, const platform::OpenDialog& d) override {
        if (onChoose)
            onChoose();
        return TestPrompter::chooseOpenFile(parent, d);
    }
};

class ReworkWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.EditHtml->setText(QString::fromStdString(page));
        writeFile(page, kPage);
    }
    void click(QToolButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
    // Saves a fully decorated entry through the window.
    void saveDecorated() {
        window.EditTitle->setText(QStringLiteral("今日の日記"));
        window.Memo1->setPlainText(QStringLiteral("一行目<BR>\nsecond"));
        window.CheckBoxIndent->setChecked(true);
        window.TitleBold = true;
        window.TitleColor = 0xFF0000;
        window.TitleSize = "+1";
        window.TitleMarkTag = QString::fromStdString(kMark);
        window.CheckBoxTitleMark->setChecked(true);
        click(window.SpeedButtonSAVE);
    }

    WatchingPrompter prompter;
    TempDir dir;
    std::string page = dir.file("diary.html");
    std::string bak = dir.file("diary.BAK");
    TFormQuillet window;
};
} // namespace

TEST_F(ReworkWindowTest, EditLastThenSaveGivesTheSameEntryBack) {
    saveDecorated();
    const std::string saved = readFile(page);
    // Another style in the window; Edit-last reads the entry's own back.
    window.TitleColor = 0x123456;
    window.TitleSize = "-2";
    window.TitleMarkTag = "<IMG SRC=\"other.gif\">";
    window.TitleItalic = true;
    click(window.SpeedButtonMOD);

    EXPECT_TRUE(window.EntryRecalled);
    EXPECT_EQ(window.EditTitle->text(), QStringLiteral("今日の日記"));
    EXPECT_EQ(window.Memo1->toPlainText(), QStringLiteral("一行目<BR>\nsecond"));
    EXPECT_TRUE(window.CheckBoxIndent->isChecked());
    EXPECT_TRUE(window.TitleBold);
    EXPECT_FALSE(window.TitleItalic);
    EXPECT_EQ(window.TitleColor, 0xFF0000);
    EXPECT_EQ(window.TitleSize, "+1");
    EXPECT_EQ(window.TitleMarkTag, QString::fromStdString(kMark));
    EXPECT_TRUE(window.CheckBoxTitleMark->isChecked());
    EXPECT_TRUE(prompter.asked.empty());
    EXPECT_TRUE(prompter.fileDialogs.empty()); // the box was on already: no chooser
    EXPECT_EQ(readFile(page), "<HTML>\r\n<BODY>\r\n<!-INS-!>\r\n<!-BDY-A-!>\r\nolder\r\n"
                              "<!-BDY-B-!><HR>\r\n<!-END-!>\r\n</BODY>\r\n</HTML>\r\n");
    EXPECT_EQ(readFile(bak), saved);

    click(window.SpeedButtonSAVE);
    EXPECT_EQ(readFile(page), saved);
    EXPECT_FALSE(window.EntryRecalled);
}

// Turning the box on runs its click handler in the middle of Edit-last: after bold and italic
// are read back, before the font. The page is rewritten by then: its lock never waits on the
// author.
TEST_F(ReworkWindowTest, TitleMarkBoxTurnedOnRunsItsHandlerInOrder) {
    saveDecorated();
    const std::string saved = readFile(page);
    window.CheckBoxTitleMark->setChecked(false);
    window.TitleColor = 0;
    bool boldThen = false;
    qint32 colorThen = -1;
    QString titleThen = "unset";
    std::string pageThen;
    bool lockFree = false;
    doc::setPageLockWait(std::chrono::milliseconds(0));
    struct RestoreWait {
        ~RestoreWait() { doc::setPageLockWait(std::chrono::milliseconds(5000)); }
    } restoreWait;
    prompter.onChoose = [&] {
        boldThen = window.TitleBold;
        colorThen = window.TitleColor;
        titleThen = window.EditTitle->text();
        pageThen = readFile(page);
        // Another Quillet could rewrite the page meanwhile.
        try {
            doc::PageLock lock(page, page);
            lockFree = true;
        } catch (const doc::PageBusyError&) {
        }
    };
    prompter.files = {std::nullopt}; // the author cancels the image chooser
    click(window.SpeedButtonMOD);
    ASSERT_EQ(prompter.fileDialogs.size(), 1u);
    EXPECT_TRUE(boldThen);
    EXPECT_EQ(colorThen, 0);
    EXPECT_EQ(titleThen, "");
    EXPECT_EQ(pageThen, kPage);
    EXPECT_TRUE(lockFree);
    // Cancelled: the box is off again, so the next Save writes no mark.
    EXPECT_FALSE(window.CheckBoxTitleMark->isChecked());
    EXPECT_EQ(window.TitleColor, 0xFF0000);
    click(window.SpeedButtonSAVE);
    EXPECT_EQ(readFile(page).find(kMark), std::string::npos);
}

TEST_F(ReworkWindowTest, EntryThatIsNotCp932IsRefusedUntouched) {
    const std::string bad =
        "<HTML>\r\n<!-INS-!>\r\n<!-BDY-A-!>\r\ncaf\xc3\xa9 \x82\r\n<!-BDY-B-!><HR>\r\n<!-END-!>\r\n";
    writeFile(page, bad);
    writeFile(bak, "backup");
    click(window.SpeedButtonMOD);
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_TRUE(prompter.asked[0].text.contains(QString::fromStdString(page)));
    EXPECT_EQ(readFile(page), bad);
    EXPECT_EQ(readFile(bak), "backup");
    EXPECT_FALSE(exists(dir.file("diary.TMP")));
    EXPECT_EQ(window.Memo1->toPlainText(), "本文");
    EXPECT_EQ(window.EditTitle->text(), "EditTitle");
}

TEST_F(ReworkWindowTest, EditLastWithoutEntryEndOrPage) {
    const std::string empty = "<HTML>\r\n<!-INS-!>\r\n</BODY>\r\n</HTML>\r\n";
    writeFile(page, empty);
    click(window.SpeedButtonMOD);
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].text, ui::texts::NoEntryEnd);
    EXPECT_EQ(readFile(page), empty);
    EXPECT_FALSE(exists(bak));
    EXPECT_EQ(window.Memo1->toPlainText(), "</BODY>\n</HTML>");
    EXPECT_TRUE(window.EditTitle->text().isEmpty());
    EXPECT_TRUE(window.EntryRecalled);

    // A name that names no page: nothing changes, and the author is told.
    window.EntryRecalled = false;
    window.EditTitle->setText("typed");
    const QString none = QString::fromStdString(dir.file("none.html"));
    window.EditHtml->setText(none);
    click(window.SpeedButtonMOD);
    ASSERT_EQ(prompter.asked.size(), 2u);
    EXPECT_EQ(prompter.asked[1].text, ui::texts::pageNotFound(none));
    EXPECT_EQ(prompter.asked[1].buttons, platform::Buttons::Ok);
    EXPECT_EQ(window.Memo1->toPlainText(), "</BODY>\n</HTML>");
    EXPECT_EQ(window.EditTitle->text(), "typed");
    EXPECT_FALSE(window.EntryRecalled);
    EXPECT_EQ(filesIn(dir), std::vector<std::string>{"diary.html"});
}

// What the author typed since the last Save or Edit-last is not replaced without asking.
TEST_F(ReworkWindowTest, EditLastAsksBeforeReplacingTypedText) {
    const std::string withTwo = "<HTML>\r\n<BODY>\r\n<!-INS-!>\r\n<!-BDY-A-!>\r\nnewer\r\n<!-BDY-B-!><HR>\r\n"
                                "<!-END-!>\r\n<!-BDY-A-!>\r\nolder\r\n<!-BDY-B-!><HR>\r\n<!-END-!>\r\n"
                                "</BODY>\r\n</HTML>\r\n";
    writeFile(page, withTwo);
    // The placeholders are not the author's.
    click(window.SpeedButtonMOD);
    EXPECT_TRUE(prompter.asked.empty());
    EXPECT_EQ(window.Memo1->toPlainText(), "newer");
    // The recalled entry as it came is not either; the page is as Edit-last left it.
    click(window.SpeedButtonCANCEL);
    click(window.SpeedButtonMOD);
    EXPECT_TRUE(prompter.asked.empty());
    click(window.SpeedButtonCANCEL);
    ASSERT_EQ(readFile(page), withTwo);

    window.Memo1->moveCursor(QTextCursor::End);
    QTest::keyClicks(window.Memo1, " more");
    window.EntryRecalled = false;
    prompter.answers = {platform::Answer::Cancel};
    click(window.SpeedButtonMOD);
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].text, ui::texts::ReplaceTypedText);
    EXPECT_EQ(prompter.asked[0].buttons, platform::Buttons::OkCancel);
    EXPECT_EQ(window.Memo1->toPlainText(), "newer more");
    EXPECT_EQ(readFile(page), withTwo);
    EXPECT_FALSE(window.EntryRecalled);
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"diary.BAK", "diary.html"}));

    // A title alone counts too, and so does markup put in by a button.
    window.Memo1->setPlainText("newer");
    window.EditTitle->setText("title");
    click(window.SpeedButtonMOD);
    EXPECT_EQ(prompter.asked.size(), 2u);
    window.EditTitle->clear();
    click(window.SpeedButtonBold);
    click(window.SpeedButtonMOD);
    EXPECT_EQ(prompter.asked.size(), 3u);
    EXPECT_EQ(readFile(page), withTwo);

    prompter.answers = {platform::Answer::Ok};
    click(window.SpeedButtonMOD);
    EXPECT_EQ(prompter.asked.size(), 4u);
    EXPECT_EQ(window.Memo1->toPlainText(), "newer");
    EXPECT_TRUE(window.EntryRecalled);

    // Saved: the empty editor holds nothing of the author's.
    click(window.SpeedButtonSAVE);
    click(window.SpeedButtonMOD);
    EXPECT_EQ(prompter.asked.size(), 4u);
}

// Edit-last then Save gives the entry's bytes back: empty lines at the start and end of the
// body, and a LF alone inside a line, which the editor shows as a line separator.
TEST_F(ReworkWindowTest, EditLastThenSaveKeepsEmptyLinesAndLoneLineFeeds) {
    const std::string entry = "<!-TTL-A-!>\r\r\rT\r<BR>\r<!-TTL-B-!>\r\n<!-BDY-A-!>\r\n"
                              "\r\n\r\na\nb\r\nc\n\r\n\n\r\n\\\r\n\r\n<!-BDY-B-!><HR>\r<!-END-!>\r\n";
    const std::string withEntry = "<HTML>\r\n<BODY>\r\n<!-INS-!>\r\n" + entry + "</BODY>\r\n</HTML>\r\n";
    writeFile(page, withEntry);
    click(window.SpeedButtonMOD);
    const QChar ls = QChar::LineSeparator;
    EXPECT_EQ(window.Memo1->document()->toRawText(),
              QString("\u2029\u2029a%1b\u2029c%1\u2029%1\u2029\\\u2029\u2029").arg(ls));
    click(window.SpeedButtonSAVE);
    EXPECT_EQ(readFile(page), withEntry);

    // Shift+Enter types the same separator.
    QTest::keyClicks(window.Memo1, "x");
    QTest::keyClick(window.Memo1, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(window.Memo1, "y");
    window.EditTitle->clear();
    click(window.SpeedButtonSAVE);
    EXPECT_NE(readFile(page).find("<!-BDY-A-!>\r\nx\ny\r\n<!-BDY-B-!>"), std::string::npos);
}

// A character that would come back as another one is written as a reference.
TEST_F(ReworkWindowTest, YenSignIsWrittenAsAReference) {
    window.EditTitle->setText(QString::fromUtf8("¥"));
    window.Memo1->setPlainText(QString::fromUtf8("1,000¥ ‾ \\"));
    click(window.SpeedButtonSAVE);
    const std::string text = readFile(page);
    EXPECT_NE(text.find("\r&#165;\r"), std::string::npos);
    EXPECT_NE(text.find("\r\n1,000&#165; &#8254; \\\r\n"), std::string::npos);
}

TEST_F(ReworkWindowTest, DeleteLastAndUndoThroughTheButtons) {
    click(window.SpeedButtonDEL);
    const std::string deleted = "<HTML>\r\n<BODY>\r\n<!-INS-!>\r\n</BODY>\r\n</HTML>\r\n";
    EXPECT_EQ(readFile(page), deleted);
    EXPECT_EQ(readFile(bak), kPage);
    // No entry left: the tail survives and the backup stays.
    click(window.SpeedButtonDEL);
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].text, ui::texts::NoEntryEnd);
    EXPECT_EQ(readFile(page), deleted);
    EXPECT_EQ(readFile(bak), kPage);

    click(window.SpeedButtonCANCEL);
    EXPECT_EQ(readFile(page), kPage);
    click(window.SpeedButtonCANCEL);
    EXPECT_EQ(readFile(page), deleted);
    EXPECT_EQ(window.Memo1->toPlainText(), "本文");
}

TEST_F(ReworkWindowTest, UndoAfterEditLastPutsTheEntryBackAndKeepsTheEditor) {
    click(window.SpeedButtonMOD);
    EXPECT_EQ(window.Memo1->toPlainText(), "older");
    click(window.SpeedButtonCANCEL);
    EXPECT_EQ(readFile(page), kPage);
    EXPECT_EQ(window.Memo1->toPlainText(), "older");
    EXPECT_TRUE(window.EntryRecalled);
}
