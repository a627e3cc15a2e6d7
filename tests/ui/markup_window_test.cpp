#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include "../document/temp_dir.h"
#include "dialogs/UnitFont.h"
#include "dialogs/UnitList.h"
#include "main/ToolBar.h"
#include "main/UnitMain.h"
#include "test_prompter.h"

using namespace quillet;
using namespace quillet::testing;
using ui::TFormFont;
using ui::TFormList;
using ui::TFormQuillet;

namespace {

// Runs the action on the modal dialog of type D that the next call opens.
template <class D> void whenModal(std::function<void(D*)> action) {
    QTimer::singleShot(0, [action] {
        auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
        if (dialog)
            dialog->activateWindow();
        if (!dialog || !QTest::qWaitFor([dialog] { return QApplication::activeWindow() == dialog; })) {
            ADD_FAILURE() << "no active modal dialog";
            if (QWidget* other = QApplication::activeModalWidget())
                other->close();
            return;
        }
        action(dialog);
    });
}

class MarkupWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    // Puts text into the editor and selects [from, to).
    void edit(const QString& text, int from, int to) {
        QApplication::clipboard()->setText(QStringLiteral("before"));
        window.Memo1->setPlainText(text);
        QTextCursor c = window.Memo1->textCursor();
        c.setPosition(from);
        c.setPosition(to, QTextCursor::KeepAnchor);
        window.Memo1->setTextCursor(c);
        window.EditTitle->setFocus(); // the buttons must bring the focus back
    }
    // The editor's text as it is (plain-text export would turn a no-break space into a blank).
    QString text() const {
        return window.Memo1->document()->toRawText().replace(QChar::ParagraphSeparator, u'\n');
    }
    bool editorHasFocus() const {
        return QTest::qWaitFor([this] { return QApplication::focusWidget() == window.Memo1; });
    }
    int caret() const { return window.Memo1->textCursor().position(); }
    QString clipboard() const { return QApplication::clipboard()->text(); }
    void click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }

    TestPrompter prompter;
    TFormQuillet window;
};

TEST_F(MarkupWindowTest, StyleButtonsWrapTheSelectionThroughTheClipboard) {
    const struct {
        QToolButton* TFormQuillet::*button;
        QString text;
        int from, to;
        QString result;
        QString onClipboard; // CR LF where the editor has a line break
        int caretAfter;
    } cases[] = {
        {&TFormQuillet::SpeedButtonBold, "abcd", 2, 2, "ab<B></B>cd", "<B></B>", 9},
        {&TFormQuillet::SpeedButtonBR, "abcd", 2, 2, "ab<BR>\ncd", "<BR>\r\n", 7},
        {&TFormQuillet::SpeedButtonLine, "", 0, 0, "<HR>\n", "<HR>\r\n", 5},
        {&TFormQuillet::SpeedButtonPhrase, "x", 1, 1, "x<P></P>\n", "<P></P>\r\n", 9},
        {&TFormQuillet::SpeedButtonItalic, "one\ntwo", 0, 7, "<I>one\ntwo</I>", "<I>one\r\ntwo</I>", 14},
        {&TFormQuillet::SpeedButtonBig, "x abc y", 2, 5, "x <BIG>abc</BIG> y", "<BIG>abc</BIG>", 16},
        {&TFormQuillet::SpeedButtonSmall, "abc", 3, 0, "<SMALL>abc</SMALL>", "<SMALL>abc</SMALL>", 18},
        {&TFormQuillet::SpeedButtonUnder, u"\u00A0😀\u301C"_qs, 0, 4, u"<U>\u00A0😀\u301C</U>"_qs,
         u"<U>\u00A0😀\u301C</U>"_qs, 11},
        {&TFormQuillet::SpeedButtonPRE, "a\nb\n", 0, 4, "<PRE>a\nb\n</PRE>", "<PRE>a\r\nb\r\n</PRE>", 15},
        {&TFormQuillet::SpeedButtonTT, "ab", 0, 2, "<TT>ab</TT>", "<TT>ab</TT>", 11},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result.toStdString());
        edit(c.text, c.from, c.to);
        click(window.*c.button);
        EXPECT_EQ(text(), c.result);
        EXPECT_EQ(caret(), c.caretAfter);
        EXPECT_FALSE(window.Memo1->textCursor().hasSelection());
        EXPECT_EQ(clipboard(), c.onClipboard);
        EXPECT_TRUE(editorHasFocus());
        // One undo step brings the selection back.
        window.Memo1->undo();
        EXPECT_EQ(text(), c.text);
    }
}

TEST_F(MarkupWindowTest, SecondClickOnTheSameSelectionInsertsAnEmptyPairAfterIt) {
    edit("abc", 0, 3);
    click(window.SpeedButtonTT);
    click(window.SpeedButtonTT);
    EXPECT_EQ(text(), "<TT>abc</TT><TT></TT>");
}

TEST_F(MarkupWindowTest, FocusReturnsToTheEditorFromTheFloatingBar) {
    QWidget* bar = window.CoolBar2->floatWindow();
    bar->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(bar));
    edit("abc", 0, 3);
    click(window.SpeedButtonBold);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_TRUE(editorHasFocus());
}

TEST_F(MarkupWindowTest, ListDialogInsertsTheChosenSkeleton) {
    const QString defaults = "<UL TYPE=\"DISC\">\n<LI>\n<LI>\n<LI>\n</UL>\n";
    const struct {
        std::function<void(TFormList*)> choose;
        bool ok;
        QString inserted;
    } cases[] = {
        {[](TFormList*) {}, true, defaults},
        {[](TFormList* d) {
             QTest::mouseClick(d->RadioGroupTypeButtons->button(3), Qt::LeftButton);
             d->EditStart->setFocus();
             QTest::keyClicks(d->EditStart, "007");
             d->ButtonOk->setFocus(); // leaving the field normalises it
             EXPECT_EQ(d->EditStart->text(), "7");
         },
         true, "<OL TYPE=\"1\" START=7>\n<LI>\n<LI>\n<LI>\n</OL>\n"},
        {[](TFormList* d) {
             d->RadioGroupTypeButtons->button(6)->click();
             QTest::keyClicks(d->EditStart, "$10");
         },
         true, "<OL TYPE=\"I\" START=16>\n<LI>\n<LI>\n<LI>\n</OL>\n"},
        {[](TFormList* d) {
             d->RadioGroupTypeButtons->button(4)->click();
             QTest::keyClicks(d->EditStart, "5 ");
         },
         true, "<OL TYPE=\"A\">\n<LI>\n<LI>\n<LI>\n</OL>\n"},
        {[](TFormList* d) {
             d->RadioGroupTypeButtons->button(7)->click();
             QTest::keyClicks(d->EditStart, "-2");
             d->RadioGroupTypeButtons->button(2)->click(); // back to bulleted: the start is gone
             EXPECT_TRUE(d->EditStart->text().isEmpty());
             EXPECT_FALSE(d->GroupBoxStart->isEnabled());
         },
         true, "<UL TYPE=\"SQUARE\">\n<LI>\n<LI>\n<LI>\n</UL>\n"},
        {[](TFormList* d) { d->RadioGroupTypeButtons->button(3)->click(); }, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.inserted.toStdString());
        edit("[sel]", 1, 4);
        whenModal<TFormList>([&c](TFormList* d) {
            EXPECT_EQ(d->windowTitle(), "箇条書きの設定");
            EXPECT_EQ(d->size(), QSize(427, 281));
            EXPECT_EQ(d->ItemIndex(), 0);
            EXPECT_FALSE(d->GroupBoxStart->isEnabled());
            EXPECT_EQ(d->ButtonOk->text(), "設　定");
            c.choose(d);
            QTest::mouseClick(c.ok ? d->ButtonOk : d->ButtonNg, Qt::LeftButton);
        });
        click(window.SpeedButtonList);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_EQ(window.findChildren<TFormList*>().size(), 0); // destroyed after use
        EXPECT_TRUE(editorHasFocus());
        if (!c.ok) {
            EXPECT_EQ(text(), "[sel]");
            EXPECT_EQ(clipboard(), "before");
            continue;
        }
        EXPECT_EQ(text(), "[" + c.inserted + "]");
        EXPECT_EQ(caret(), 1 + c.inserted.size());
        EXPECT_EQ(clipboard(), QString(c.inserted).replace("\n", "\r\n"));
        window.Memo1->undo(); // the replaced text comes back
        EXPECT_EQ(text(), "[sel]");
    }
}

TEST_F(MarkupWindowTest, FontDialogWrapsTheSelection) {
    const struct {
        std::function<void(TFormFont*)> choose;
        bool ok;
        QString result;
    } cases[] = {
        {[this](TFormFont* d) {
             QTest::mouseClick(d->CheckBoxBold, Qt::LeftButton);
             QTest::mouseClick(d->CheckBoxItalic, Qt::LeftButton);
             prompter.colors = {QColor(255, 0, 0)};
             QTest::mouseClick(d->SpeedButton1, Qt::LeftButton);
             QTest::keyClicks(d->EditSize, "+1");
         },
         true, "x<B><I><FONT COLOR=\"#FF0000\" SIZE=\"+1\">abc</FONT></I></B>y"},
        {[this](TFormFont* d) {
             // The chooser starts on the colour chosen last; black means no colour.
             prompter.colors = {QColor(0, 0, 255), QColor(0, 0, 0)};
             d->SpeedButton1->click();
             d->SpeedButton1->click();
             EXPECT_EQ(prompter.colorStarts.back(), QColor(0, 0, 255));
             QTest::keyClicks(d->EditSize, "5");
         },
         true, "x<FONT  SIZE=\"5\">abc</FONT>y"},
        {[this](TFormFont* d) {
             prompter.colors = {QColor(0, 0, 255), std::nullopt}; // Cancel keeps the colour
             d->SpeedButton1->click();
             d->SpeedButton1->click();
             d->EditSize->setFocus();
             QTest::keyClicks(d->EditSize, "1:2");
             d->CheckBoxBold->setFocus();
             EXPECT_EQ(d->EditSize->text(), "");
         },
         true, "x<FONT COLOR=\"#0000FF\">abc</FONT>y"},
        // Enter presses OK without leaving the field: the token is still checked.
        {[](TFormFont* d) {
             d->EditSize->setFocus();
             QTest::keyClicks(d->EditSize, "+6");
             QTest::keyClick(d->EditSize, Qt::Key_Return);
         },
         true, "xabcy"},
        {[](TFormFont* d) { d->CheckBoxBold->setChecked(true); }, false, "xabcy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result.toStdString());
        prompter.colorStarts.clear();
        edit("xabcy", 1, 4);
        whenModal<TFormFont>([&c](TFormFont* d) {
            EXPECT_EQ(d->windowTitle(), "フォントの設定");
            EXPECT_EQ(d->size(), QSize(185, 218));
            EXPECT_EQ(d->pos(), QPoint(266, 274));
            EXPECT_EQ(d->choice().chooserColor, 0u);
            c.choose(d);
            if (d->isVisible())
                QTest::mouseClick(c.ok ? d->ButtonOk : d->ButtonNg, Qt::LeftButton);
        });
        click(window.SpeedButtonFont);
        EXPECT_EQ(text(), c.result);
        EXPECT_TRUE(editorHasFocus());
        EXPECT_EQ(clipboard(), c.ok ? c.result.mid(1, c.result.size() - 2) : "before");
        if (!prompter.colorStarts.empty()) {
            EXPECT_EQ(prompter.colorStarts.front(), QColor(0, 0, 0));
        }
    }
}

TEST_F(MarkupWindowTest, TitleFontIsKeptAndSavedInTheTitleRecord) {
    TempDir dir;
    const std::string page = dir.file("index.html");
    writeFile(page, "<!-INS-!>\r\n");
    window.EditHtml->setText(QString::fromStdString(page));

    whenModal<TFormFont>([this](TFormFont* d) {
        d->CheckBoxBold->setChecked(true);
        prompter.colors = {QColor(255, 0, 0)};
        d->SpeedButton1->click();
        QTest::keyClicks(d->EditSize, "+1");
        d->ButtonOk->click();
    });
    click(window.SpeedButtonTtlFont);
    EXPECT_TRUE(window.TitleBold);
    EXPECT_FALSE(window.TitleItalic);
    EXPECT_EQ(window.TitleColor, 0xFF0000);
    EXPECT_EQ(window.TitleSize, "+1");

    // Reopened, the dialog shows the first OK's choices; Cancel changes nothing.
    whenModal<TFormFont>([this](TFormFont* d) {
        EXPECT_TRUE(d->CheckBoxBold->isChecked());
        EXPECT_EQ(d->EditSize->text(), "+1");
        prompter.colors = {QColor(0, 0, 255)};
        d->SpeedButton1->click();
        EXPECT_EQ(prompter.colorStarts.back(), QColor(255, 0, 0));
        d->ButtonNg->click();
    });
    click(window.SpeedButtonTtlFont);
    EXPECT_EQ(window.TitleColor, 0xFF0000);

    prompter.files = {QStringLiteral("/web/img/mark.gif")};
    click(window.CheckBoxTitleMark);
    window.EditTitle->setText("T");
    window.Memo1->setPlainText("b");
    click(window.SpeedButtonSAVE);
    EXPECT_EQ(readFile(page), "<!-INS-!>\r\n<!-TTL-A-!>\r<IMG SRC=\"/web/img/mark.gif\">\r"
                              "<B><FONT COLOR=\"#FF0000\" SIZE=\"+1\">\rT\r</FONT></B><BR>\r"
                              "<!-TTL-B-!>\r\n<!-BDY-A-!>\r\nb\r\n<!-BDY-B-!><HR>\r<!-END-!>\r\n");
    EXPECT_FALSE(window.TitleBold);
    EXPECT_EQ(window.TitleColor, 0xFF0000);
    EXPECT_EQ(window.TitleSize, "+1");
}

TEST_F(MarkupWindowTest, TitleMarkAsksForTheImageWhenTheBoxIsTicked) {
    const QString path = u"/web/img/印 \"x\".gif"_qs;
    prompter.files = {path, std::nullopt};
    click(window.CheckBoxTitleMark);
    ASSERT_EQ(prompter.fileDialogs.size(), 1u);
    const platform::OpenDialog& asked = prompter.fileDialogs[0];
    EXPECT_EQ(asked.filterIndex, 3);
    EXPECT_EQ(asked.filter, u"すべて|*.*|HTML|*.html;*.htm|イメージ|*.jpg;*.jpeg;*.gif"_qs);
    EXPECT_TRUE(asked.defaultExt.isEmpty());
    EXPECT_TRUE(asked.fileName.isEmpty());
    EXPECT_EQ(asked.initialDir, QDir::currentPath());
    const std::string tag = "<IMG SRC=\"/web/img/\x88\xf3 &quot;x&quot;.gif\">";
    EXPECT_EQ(window.TitleMarkTag, tag);
    EXPECT_TRUE(window.CheckBoxTitleMark->isChecked());

    click(window.CheckBoxTitleMark); // cleared: nothing asked, the tag stays
    EXPECT_EQ(prompter.fileDialogs.size(), 1u);
    EXPECT_EQ(window.TitleMarkTag, tag);

    window.OpenDialog1.initialDir = "/elsewhere"; // the starting folder, once set, stays
    click(window.CheckBoxTitleMark);              // cancelled: the box is clear again
    ASSERT_EQ(prompter.fileDialogs.size(), 2u);
    EXPECT_EQ(prompter.fileDialogs[1].initialDir, "/elsewhere");
    EXPECT_FALSE(window.CheckBoxTitleMark->isChecked());
    EXPECT_EQ(window.TitleMarkTag, tag);

    // A change made by the program runs the handler once, through the direct call only.
    prompter.files = {QStringLiteral("/m.jpg")};
    window.CheckBoxTitleMark->setChecked(true);
    window.CheckBoxTitleMarkClick();
    EXPECT_EQ(prompter.fileDialogs.size(), 3u);
    EXPECT_EQ(window.TitleMarkTag, "<IMG SRC=\"/m.jpg\">");
}

} // namespace
