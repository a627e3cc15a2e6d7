// Pages in the encoding they declare, through the real window: every command writes the bytes
// the page's encoding has for the text, a page Quillet cannot write into is refused untouched,
// and the window shows what it will write.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include "../document/temp_dir.h"
#include "dialogs/color_dialog.h"
#include "dialogs/insertion_point_dialog.h"
#include "main/main_window.h"
#include "test_prompter.h"

using namespace quillet;
using namespace quillet::testing;
using ui::TFormQuillet;

namespace {
QString u(const char* utf8) { return QString::fromUtf8(utf8); }

const std::string kOlder = "<!-BDY-A-!>\r\nolder\r\n<!-BDY-B-!><HR>\r\n<!-END-!>\r\n";
const std::string kTail = "</BODY>\r\n</HTML>\r\n";

struct PageCase {
    const char* what;
    std::string head; // up to and including the marker line
    QString shown;    // what the window says the page is in
    QString title;
    QStringList body;
    std::string titleBytes;
    std::vector<std::string> bodyBytes;
    std::string markBytes; // the tag for the image /img/印.gif
};

const QString kMarkPath = u("/img/印.gif");

std::vector<PageCase> pageCases() {
    const QString ctrlZ = QString(QChar(0x1A));
    return {
        {"UTF-8",
         "<HTML><HEAD><meta charset=\"utf-8\"></HEAD>\r\n<BODY>\r\n<!-INS-!>\r\n",
         "UTF-8",
         u("日記 ¥ 😀"),
         {u("本文 ① é"), "a" + ctrlZ + "b"},
         "日記 ¥ 😀",
         {"本文 ① é", "a&#26;b"},
         "<IMG SRC=\"/img/印.gif\">"},
        {"UTF-8 with a byte-order mark",
         "\xEF\xBB\xBF<HTML>\r\n<BODY>\r\n<!-INS-!>\r\n",
         "UTF-8 (BOM)",
         u("日記"),
         {u("本文〜")},
         "日記",
         {"本文〜"},
         "<IMG SRC=\"/img/印.gif\">"},
        {"EUC-JP",
         "<HTML><HEAD><META http-equiv=\"Content-Type\" content=\"text/html; charset=EUC-JP\">"
         "</HEAD>\r\n<BODY>\r\n<!-INS-!>\r\n",
         "EUC-JP",
         u("日記"),
         {u("髙橋 ¥100 😀"), u("本文")},
         "\xC6\xFC\xB5\xAD",
         {"&#39641;\xB6\xB6 &#165;100 &#128512;", "\xCB\xDC\xCA\xB8"},
         "<IMG SRC=\"/img/\xB0\xF5.gif\">"},
        {"windows-1252",
         "<html><head><meta charset='windows-1252'></head>\r\n<body>\r\n<!-INS-!>\r\n",
         "windows-1252",
         u("Café “x”"),
         {u("日本 €")},
         "Caf\xE9 \x93x\x94",
         {"&#26085;&#26412; \x80"},
         "<IMG SRC=\"/img/&#21360;.gif\">"},
    };
}

std::string entryBytes(const PageCase& c, const std::vector<std::string>& body) {
    std::string bytes = "<!-TTL-A-!>\r" + c.markBytes + "\r<B>\r" + c.titleBytes +
                        "\r</B><BR>\r<!-TTL-B-!>\r\n" + "<!-BDY-A-!>\r\n";
    for (const auto& line : body)
        bytes += line + "\r\n";
    return bytes + "<!-BDY-B-!><HR>\r<!-END-!>\r\n";
}

// Runs the action on the modal dialog of type D that the next call opens, then closes it.
template <class D> void whenModal(std::function<void(D*)> action) {
    QTimer::singleShot(0, [action] {
        if (auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget())) {
            action(dialog);
            dialog->close();
        }
    });
}

class PageEncodingWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    void click(QToolButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
    void choose(const std::string& path) {
        prompter.files.push_back(QString::fromStdString(path));
        QTest::mouseClick(window.ButtonHtml, Qt::LeftButton);
        QApplication::processEvents();
    }
    void type(const PageCase& c, const QStringList& body) {
        window.EditTitle->setText(c.title);
        window.Memo1->setPlainText(body.join('\n'));
        window.TitleBold = true;
    }

    TestPrompter prompter;
    TempDir dir;
    std::string page = dir.file("diary.html");
    std::string bak = dir.file("diary.BAK");
    TFormQuillet window;
};
} // namespace

TEST_F(PageEncodingWindowTest, EveryCommandWritesThePagesOwnEncoding) {
    for (const PageCase& c : pageCases()) {
        SCOPED_TRACE(c.what);
        page = dir.file(std::string(c.what) + ".html");
        bak = dir.file(std::string(c.what) + ".BAK");
        const std::string original = c.head + kOlder + kTail;
        writeFile(page, original);
        window.EditHtml->setText(QString::fromStdString(page));
        EXPECT_EQ(window.LabelEncoding->text(), c.shown);

        // Save, with a title mark chosen as text and written in the page's encoding.
        window.CheckBoxTitleMark->setChecked(false);
        prompter.files = {kMarkPath};
        window.CheckBoxTitleMark->click();
        type(c, c.body);
        click(window.SpeedButtonSAVE);
        const std::string saved = c.head + entryBytes(c, c.bodyBytes) + kOlder + kTail;
        ASSERT_EQ(readFile(page), saved);

        // Edit-last takes it back as the author sees it; Save at once writes the same bytes.
        click(window.SpeedButtonMOD);
        ASSERT_EQ(readFile(page), original);
        EXPECT_TRUE(window.TitleBold);
        EXPECT_TRUE(window.CheckBoxTitleMark->isChecked());
        click(window.SpeedButtonSAVE);
        EXPECT_EQ(readFile(page), saved);

        click(window.SpeedButtonDEL);
        EXPECT_EQ(readFile(page), original);
        EXPECT_EQ(readFile(bak), saved);

        // Replace all: the body closes the page in the page's encoding.
        QStringList closing = c.body;
        closing << "</BODY></HTML>";
        std::vector<std::string> closingBytes = c.bodyBytes;
        closingBytes.push_back("</BODY></HTML>");
        type(c, closing);
        click(window.SpeedButtonRep);
        EXPECT_EQ(readFile(page), c.head + entryBytes(c, closingBytes));
        EXPECT_TRUE(prompter.asked.empty());
    }
}

// A page whose markers would not be what they seem: every command refuses it with the same
// message, before anything is written; the editor keeps what the author typed.
TEST_F(PageEncodingWindowTest, RefusedEncodingsLeaveThePageTheBackupAndTheEditor) {
    const std::string utf16 = std::string("\xFF\xFE<\0H\0>\0\r\0\n\0", 12) + "<!-INS-!>\r\n" + kOlder + kTail;
    const std::string jis =
        "<HTML><HEAD><meta http-equiv=Content-Type content=\"text/html;charset=iso-2022-jp\">"
        "</HEAD>\r\n<!-INS-!>\r\n" +
        kOlder + kTail;
    for (const auto& [text, label] : {std::pair(utf16, "UTF-16LE"), std::pair(jis, "iso-2022-jp")}) {
        SCOPED_TRACE(label);
        page = dir.file(std::string(label) + ".html");
        bak = dir.file(std::string(label) + ".BAK");
        writeFile(page, text);
        writeFile(bak, "backup");
        window.EditHtml->setText(QString::fromStdString(page));
        EXPECT_EQ(window.LabelEncoding->text(), QStringLiteral("%1 (書き込めません)").arg(label));
        window.EditTitle->setText("typed");
        window.Memo1->setPlainText("body");
        window.EntryRecalled = false;
        prompter.asked.clear();
        prompter.answers = {platform::Answer::Ok}; // Edit-last: the typed text may go
        for (QToolButton* b : {window.SpeedButtonSAVE, window.SpeedButtonRep, window.SpeedButtonDEL,
                               window.SpeedButtonMOD, window.SpeedButtonCANCEL}) {
            if (b == window.SpeedButtonRep)
                window.Memo1->setPlainText("</BODY></HTML>");
            click(b);
        }
        ASSERT_EQ(prompter.asked.size(), 6u);
        prompter.asked.erase(prompter.asked.begin() + 3); // the question before Edit-last
        for (const Asked& a : prompter.asked) {
            EXPECT_EQ(a.kind, Asked::Error);
            EXPECT_TRUE(a.text.contains(QString::fromStdString(page))) << a.text.toStdString();
            EXPECT_TRUE(a.text.contains(label)) << a.text.toStdString();
        }
        EXPECT_EQ(readFile(page), text);
        EXPECT_EQ(readFile(bak), "backup");
        EXPECT_FALSE(exists(dir.file(std::string(label) + ".TMP")));
        EXPECT_EQ(window.EditTitle->text(), "typed");
        EXPECT_FALSE(window.EntryRecalled); // nothing was taken out of the page

        // Choosing it says so at once.
        choose(page);
        EXPECT_EQ(prompter.asked.size(), 6u);
        EXPECT_EQ(prompter.asked.back().text, prompter.asked[0].text);
        EXPECT_EQ(readFile(page), text);
    }
}

// An entry that is not valid in the page's encoding is not recalled: the message names the page's
// encoding, and the page keeps the entry.
TEST_F(PageEncodingWindowTest, EditLastRefusesBytesThePagesEncodingCannotRead) {
    const std::string text = "<meta charset=utf-8>\r\n<!-INS-!>\r\n<!-BDY-A-!>\r\n\x93\xfa\x8b\x4c\r\n"
                             "<!-BDY-B-!><HR>\r\n<!-END-!>\r\n";
    writeFile(page, text);
    window.EditHtml->setText(QString::fromStdString(page));
    click(window.SpeedButtonMOD);
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_TRUE(prompter.asked[0].text.contains(QStringLiteral("UTF-8として読めない")));
    EXPECT_EQ(readFile(page), text);
    EXPECT_FALSE(exists(bak));
    EXPECT_EQ(window.Memo1->toPlainText(), "本文");
    EXPECT_FALSE(window.EntryRecalled);
}

TEST_F(PageEncodingWindowTest, NewPageIsMadeInTheEncodingTheAuthorChooses) {
    // Cancelled: nothing is made, as after "いいえ".
    prompter.answers = {platform::Answer::Yes};
    prompter.choices = {std::nullopt};
    choose(page);
    ASSERT_EQ(prompter.chosen.size(), 1u);
    EXPECT_EQ(prompter.chosen[0].choices, QStringList({"Shift-JIS", "UTF-8"}));
    EXPECT_EQ(prompter.chosen[0].defaultChoice, 0);
    EXPECT_FALSE(exists(page));
    EXPECT_TRUE(window.EditHtml->text().isEmpty());
    EXPECT_TRUE(window.LabelEncoding->text().isEmpty());

    prompter.answers = {platform::Answer::Yes};
    prompter.choices = {1};
    whenModal<ui::TFormColor>([](ui::TFormColor*) {});
    choose(page);
    EXPECT_EQ(readFile(page),
              "<HTML>\r<HEAD>\r<META http-equiv=\"Content-Type\" content=\"text/html; "
              "charset=utf-8\">\r\n<TITLE></TITLE>\r</HEAD>\r\n<BODY BGCOLOR=\"#008080\" "
              "TEXT=\"#080000\" LINK=\"#080000\" VLINK=\"#080000\" ALINK=\"#080000\">\r\n"
              "<BR>\r<DIV ALIGN=\"center\">\r</DIV>\r<HR><BR>\r<!-INS-!>\r</BODY>\r</HTML>\r\n");
    EXPECT_EQ(window.LabelEncoding->text(), "UTF-8");
    ASSERT_EQ(prompter.asked.size(), 2u); // the two creation questions, nothing more
    EXPECT_EQ(prompter.asked[1].text, QStringLiteral("この名前で新規に作成しますか？"));

    window.EditTitle->clear();
    window.Memo1->setPlainText(u("日記"));
    click(window.SpeedButtonSAVE);
    EXPECT_NE(readFile(page).find("<!-INS-!>\r\n<!-BDY-A-!>\r\n日記\r\n"), std::string::npos);

    // The default is the page Quillet has always made.
    const std::string sjis = dir.file("sjis.html");
    prompter.answers = {platform::Answer::Yes};
    whenModal<ui::TFormColor>([](ui::TFormColor*) {});
    choose(sjis);
    EXPECT_NE(readFile(sjis).find("charset=x-sjis"), std::string::npos);
    EXPECT_EQ(window.LabelEncoding->text(), "Shift-JIS");
}

// The insertion-point list shows a UTF-8 page's lines as UTF-8; bytes that are not stay as they
// were and show as stand-ins.
TEST_F(PageEncodingWindowTest, InsertionPointListReadsThePagesEncoding) {
    const std::string text = "<meta charset=\"UTF-8\">\r\n<BODY>\r\n日記 \xFF\r\n</BODY>\r\n";
    writeFile(page, text);
    QStringList shown;
    whenModal<ui::TFormSetIns>([&](ui::TFormSetIns* d) {
        QAbstractItemModel* rows = d->ListBox1->model();
        for (int i = 0; i < rows->rowCount(); ++i)
            shown << rows->index(i, 0).data().toString();
        QTest::mouseDClick(d->ListBox1->viewport(), Qt::LeftButton, {},
                           d->ListBox1->visualRect(rows->index(1, 0)).center());
    });
    choose(page);
    EXPECT_EQ(shown, QStringList({"<meta charset=\"UTF-8\">", "<BODY>", u("日記 \uFFFD"), "</BODY>"}));
    EXPECT_EQ(readFile(page), "<meta charset=\"UTF-8\">\r\n<BODY>\r\n<!-INS-!>\r\n日記 \xFF\r\n</BODY>\r\n");
    EXPECT_EQ(window.LabelEncoding->text(), "UTF-8");
}

// What the window shows follows the page: another name, or Undo bringing back a backup in
// another encoding.
TEST_F(PageEncodingWindowTest, ShownEncodingFollowsThePage) {
    writeFile(page, "<meta charset=utf-8>\r\n<!-INS-!>\r\n");
    writeFile(bak, "<HTML>\r\n<!-INS-!>\r\n");
    window.EditHtml->setText(QString::fromStdString(page));
    EXPECT_EQ(window.LabelEncoding->text(), "UTF-8");
    click(window.SpeedButtonCANCEL);
    EXPECT_EQ(window.LabelEncoding->text(), "Shift-JIS");
    window.EditHtml->setText(QString::fromStdString(dir.file("none.html")));
    EXPECT_TRUE(window.LabelEncoding->text().isEmpty());
    EXPECT_TRUE(prompter.asked.empty());
}
