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
#include "dialogs/font_dialog.h"
#include "dialogs/list_dialog.h"
#include "main/main_window.h"
#include "main/tool_bar.h"
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
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    // Puts text into the editor, selects [from, to) and moves the focus away.
    void edit(const QString& text, int from, int to) {
        QApplication::clipboard()->setText(QStringLiteral("before"));
        window.Memo1->setPlainText(text);
        QTextCursor c = window.Memo1->textCursor();
        c.setPosition(from);
        c.setPosition(to, QTextCursor::KeepAnchor);
        window.Memo1->setTextCursor(c);
        window.EditTitle->setFocus();
    }
    // The editor's text as it is (plain-text export would turn a no-break space into a blank).
    QString text() const {
        return window.Memo1->document()->toRawText().replace(QChar::ParagraphSeparator, u'\n');
    }
    int caret() const { return window.Memo1->textCursor().position(); }
    QString clipboard() const { return QApplication::clipboard()->text(); }
    bool editorHasFocus() const {
        return QTest::qWaitFor([this] { return QApplication::focusWidget() == window.Memo1; });
    }

    TestPrompter prompter;
    TFormQuillet window;
};

TEST_F(MarkupWindowTest, StyleButtonsWrapTheSelectionThroughTheClipboard) {
    const struct {
        QToolButton* TFormQuillet::*button;
        QString text;
        int from, to;
        QString inserted; // as the clipboard holds it, CR LF for a line break
    } cases[] = {
        {&TFormQuillet::SpeedButtonBold, "abcd", 2, 2, "<B></B>"},
        {&TFormQuillet::SpeedButtonBR, "abcd", 2, 2, "<BR>\r\n"},
        {&TFormQuillet::SpeedButtonLine, "", 0, 0, "<HR>\r\n"},
        {&TFormQuillet::SpeedButtonPhrase, "x", 1, 1, "<P></P>\r\n"},
        {&TFormQuillet::SpeedButtonItalic, "one\ntwo", 0, 7, "<I>one\r\ntwo</I>"},
        {&TFormQuillet::SpeedButtonBig, "x abc y", 2, 5, "<BIG>abc</BIG>"},
        {&TFormQuillet::SpeedButtonSmall, "abc", 3, 0, "<SMALL>abc</SMALL>"},
        {&TFormQuillet::SpeedButtonUnder, u"\u00A0😀\u301C"_qs, 0, 4, u"<U>\u00A0😀\u301C</U>"_qs},
        {&TFormQuillet::SpeedButtonPRE, "a\nb\n", 0, 4, "<PRE>a\r\nb\r\n</PRE>"},
        {&TFormQuillet::SpeedButtonTT, "ab", 0, 2, "<TT>ab</TT>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.inserted.toStdString());
        edit(c.text, c.from, c.to);
        QTest::mouseClick(window.*c.button, Qt::LeftButton);
        const int start = std::min(c.from, c.to);
        const QString inEditor = QString(c.inserted).replace("\r\n", "\n");
        EXPECT_EQ(text(), c.text.left(start) + inEditor + c.text.mid(std::max(c.from, c.to)));
        EXPECT_EQ(caret(), start + inEditor.size());
        EXPECT_EQ(clipboard(), c.inserted);
        EXPECT_TRUE(editorHasFocus());
        window.Memo1->undo(); // one step brings the selection back
        EXPECT_EQ(text(), c.text);
    }
    // A second click sees no selection: an empty pair after the first, no nesting.
    edit("abc", 0, 3);
    window.SpeedButtonTT->click();
    window.SpeedButtonTT->click();
    EXPECT_EQ(text(), "<TT>abc</TT><TT></TT>");
}

TEST_F(MarkupWindowTest, FocusReturnsToTheEditorFromTheFloatingBar) {
    QWidget* bar = window.CoolBar2->floatWindow();
    bar->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([bar] { return QApplication::activeWindow() == bar; }));
    edit("abc", 0, 3);
    QTest::mouseClick(window.SpeedButtonBold, Qt::LeftButton);
    EXPECT_TRUE(editorHasFocus());
}

TEST_F(MarkupWindowTest, ListDialogInsertsTheChosenSkeleton) {
    const struct {
        std::function<void(TFormList*)> choose;
        QString inserted; // empty: Cancel
    } cases[] = {
        {[](TFormList*) {}, "<UL TYPE=\"DISC\">\n<LI>\n<LI>\n<LI>\n</UL>\n"},
        {[](TFormList* d) {
             QTest::mouseClick(d->RadioGroupTypeButtons->button(3), Qt::LeftButton);
             d->EditStart->setFocus();
             QTest::keyClicks(d->EditStart, "007");
             d->ButtonNg->setFocus(); // leaving the field normalises it
             EXPECT_EQ(d->EditStart->text(), "7");
         },
         "<OL TYPE=\"1\" START=7>\n<LI>\n<LI>\n<LI>\n</OL>\n"},
        {[](TFormList* d) {
             d->RadioGroupTypeButtons->button(7)->click();
             QTest::keyClicks(d->EditStart, "-2");
             d->RadioGroupTypeButtons->button(2)->click(); // back to bulleted: the start is gone
             EXPECT_TRUE(d->EditStart->text().isEmpty());
             EXPECT_FALSE(d->GroupBoxStart->isEnabled());
         },
         "<UL TYPE=\"SQUARE\">\n<LI>\n<LI>\n<LI>\n</UL>\n"},
        {[](TFormList* d) { d->RadioGroupTypeButtons->button(3)->click(); }, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.inserted.toStdString());
        edit("[sel]", 1, 4);
        whenModal<TFormList>([&c](TFormList* d) {
            EXPECT_EQ(d->windowTitle(), "箇条書きの設定");
            EXPECT_EQ(d->size(), QSize(427, 281));
            EXPECT_EQ(d->ItemIndex(), 0);
            EXPECT_FALSE(d->GroupBoxStart->isEnabled());
            c.choose(d);
            QTest::mouseClick(c.inserted.isEmpty() ? d->ButtonNg : d->ButtonOk, Qt::LeftButton);
        });
        QTest::mouseClick(window.SpeedButtonList, Qt::LeftButton);
        EXPECT_TRUE(window.findChildren<TFormList*>().isEmpty()); // destroyed after use
        EXPECT_TRUE(editorHasFocus());
        if (c.inserted.isEmpty()) {
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

// The start-number field stands inside the frame the style draws below the box's title.
TEST_F(MarkupWindowTest, ListDialogStartFieldStandsInsideItsBox) {
    TFormList d(&window);
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    EXPECT_TRUE(d.GroupBoxStart->contentsRect().contains(d.EditStart->geometry()))
        << d.EditStart->y() << " above " << d.GroupBoxStart->contentsRect().top();
    EXPECT_EQ(d.EditStart->size(), QSize(117, 20));
}

TEST_F(MarkupWindowTest, FontDialogWrapsTheSelection) {
    const struct {
        std::function<void(TFormFont*)> choose;
        QString result; // empty: Cancel
    } cases[] = {
        {[this](TFormFont* d) {
             QTest::mouseClick(d->CheckBoxBold, Qt::LeftButton);
             QTest::mouseClick(d->CheckBoxItalic, Qt::LeftButton);
             prompter.colors = {QColor(255, 0, 0)};
             QTest::mouseClick(d->SpeedButton1, Qt::LeftButton);
             QTest::keyClicks(d->EditSize, "+1");
         },
         "x<B><I><FONT COLOR=\"#FF0000\" SIZE=\"+1\">abc</FONT></I></B>y"},
        {[this](TFormFont* d) {
             // The chooser starts on the colour chosen last; black means no colour.
             prompter.colors = {QColor(0, 0, 255), QColor(0, 0, 0)};
             d->SpeedButton1->click();
             d->SpeedButton1->click();
             EXPECT_EQ(prompter.colorStarts, (std::vector<QColor>{Qt::black, QColor(0, 0, 255)}));
             d->EditSize->setFocus();
             QTest::keyClicks(d->EditSize, "1:2");
             d->CheckBoxBold->setFocus(); // leaving the field checks the token
             EXPECT_EQ(d->EditSize->text(), "");
             QTest::keyClicks(d->EditSize, "5");
         },
         "x<FONT  SIZE=\"5\">abc</FONT>y"},
        {[](TFormFont* d) { d->CheckBoxBold->setChecked(true); }, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result.toStdString());
        prompter.colorStarts.clear();
        edit("xabcy", 1, 4);
        whenModal<TFormFont>([&c](TFormFont* d) {
            EXPECT_EQ(d->windowTitle(), "フォントの設定");
            EXPECT_EQ(d->size(), QSize(185, 218));
            EXPECT_EQ(d->pos(), QPoint(266, 274));
            c.choose(d);
            QTest::mouseClick(c.result.isEmpty() ? d->ButtonNg : d->ButtonOk, Qt::LeftButton);
        });
        QTest::mouseClick(window.SpeedButtonFont, Qt::LeftButton);
        EXPECT_EQ(text(), c.result.isEmpty() ? "xabcy" : c.result);
        EXPECT_EQ(clipboard(), c.result.isEmpty() ? "before" : c.result.mid(1, c.result.size() - 2));
        EXPECT_TRUE(editorHasFocus());
    }
}

TEST_F(MarkupWindowTest, TitleStyleIsKeptAndSavedInTheTitleRecord) {
    TempDir dir;
    const std::string page = dir.file("index.html");
    writeFile(page, "<!-INS-!>\r\n");
    window.EditHtml->setText(QString::fromStdString(page));

    window.TitleColor = -1; // no colour, as a recalled title may have it
    whenModal<TFormFont>([](TFormFont* d) { d->ButtonOk->click(); });
    window.SpeedButtonTtlFont->click();
    EXPECT_EQ(window.TitleColor, 0);

    whenModal<TFormFont>([this](TFormFont* d) {
        d->CheckBoxBold->setChecked(true);
        prompter.colors = {QColor(255, 0, 0)};
        d->SpeedButton1->click();
        QTest::keyClicks(d->EditSize, "+1");
        d->ButtonOk->click();
    });
    window.SpeedButtonTtlFont->click();
    EXPECT_EQ(window.TitleColor, 0xFF0000);
    // Reopened, the dialog shows the first OK's choices; Cancel changes nothing.
    whenModal<TFormFont>([this](TFormFont* d) {
        EXPECT_TRUE(d->CheckBoxBold->isChecked());
        EXPECT_FALSE(d->CheckBoxItalic->isChecked());
        EXPECT_EQ(d->EditSize->text(), "+1");
        prompter.colors = {QColor(0, 0, 255)};
        d->SpeedButton1->click();
        EXPECT_EQ(prompter.colorStarts.back(), QColor(255, 0, 0));
        d->ButtonNg->click();
    });
    window.SpeedButtonTtlFont->click();

    prompter.files = {QStringLiteral("/web/img/mark.gif")};
    QTest::mouseClick(window.CheckBoxTitleMark, Qt::LeftButton);
    window.EditTitle->setText("T");
    window.Memo1->setPlainText("b");
    window.SpeedButtonSAVE->click();
    EXPECT_EQ(readFile(page), "<!-INS-!>\r\n<!-TTL-A-!>\r<IMG SRC=\"/web/img/mark.gif\">\r"
                              "<B><FONT COLOR=\"#FF0000\" SIZE=\"+1\">\rT\r</FONT></B><BR>\r"
                              "<!-TTL-B-!>\r\n<!-BDY-A-!>\r\nb\r\n<!-BDY-B-!><HR>\r<!-END-!>\r\n");
    EXPECT_FALSE(window.TitleBold);
    EXPECT_EQ(window.TitleColor, 0xFF0000);
    EXPECT_EQ(window.TitleSize, "+1");
}

TEST_F(MarkupWindowTest, TitleMarkAsksForTheImageWhenTheBoxIsTicked) {
    prompter.files = {u"/web/印 \"x\".gif"_qs, std::nullopt};
    window.CheckBoxTitleMark->click();
    ASSERT_EQ(prompter.fileDialogs.size(), 1u);
    const platform::OpenDialog& asked = prompter.fileDialogs[0];
    EXPECT_EQ(asked.filter, u"すべて|*.*|HTML|*.html;*.htm|イメージ|*.jpg;*.jpeg;*.gif"_qs);
    EXPECT_EQ(asked.filterIndex, 3);
    EXPECT_EQ(platform::nameFilters(asked.filter),
              QStringList({u"すべて (*)"_qs, "HTML (*.html *.htm)", u"イメージ (*.jpg *.jpeg *.gif)"_qs}));
    EXPECT_TRUE(asked.defaultExt.isEmpty() && asked.fileName.isEmpty());
    EXPECT_EQ(asked.initialDir, QDir::currentPath());
    // Text until Save puts it into a page in that page's encoding.
    const QString tag = u"<IMG SRC=\"/web/印 &quot;x&quot;.gif\">"_qs;
    EXPECT_EQ(window.TitleMarkTag, tag);

    window.CheckBoxTitleMark->click(); // cleared: nothing asked, the tag stays
    window.OpenDialog1.initialDir = "/elsewhere";
    window.CheckBoxTitleMark->click(); // cancelled: the box is clear again, the tag stays
    ASSERT_EQ(prompter.fileDialogs.size(), 2u);
    EXPECT_EQ(prompter.fileDialogs[1].initialDir, "/elsewhere"); // the starting folder stays
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
