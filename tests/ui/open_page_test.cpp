#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "../document/temp_dir.h"
#include "dialogs/UnitColor.h"
#include "dialogs/UnitSetIns.h"
#include "document/file_io.h"
#include "main/UnitMain.h"
#include "test_prompter.h"

using namespace quillet;
using namespace quillet::testing;
using ui::TFormColor;
using ui::TFormQuillet;
using ui::TFormSetIns;

namespace {
const std::string kTemplateHead =
    "<HTML>\r<HEAD>\r<META http-equiv=\"Content-Type\" content=\"text/html; charset=x-sjis\">\r\n"
    "<TITLE></TITLE>\r</HEAD>\r\n";
const std::string kTemplateTail =
    "<BR>\r<DIV ALIGN=\"center\">\r</DIV>\r<HR><BR>\r<!-INS-!>\r</BODY>\r</HTML>\r\n";
const std::string kPlainPage = "<HTML>\r\n<BODY>\r\n\x93\xfa\x8b\x4c\r\n</BODY>\r\n</HTML>\r\n";

std::string bodyLine(const char* bg, const char* text, const char* link) {
    return std::string("<BODY BGCOLOR=\"") + bg + "\" TEXT=\"" + text + "\" LINK=\"" + link +
           "\" VLINK=\"#080000\" ALINK=\"#080000\">\r\n";
}

// Runs the action on the modal dialog of type D that the next call opens, then closes it by
// its close box as the author would.
template <class D> void whenModal(std::function<void(D*)> action, bool* opened = nullptr) {
    QTimer::singleShot(0, [action, opened] {
        auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
        if (!dialog) {
            if (QWidget* other = QApplication::activeModalWidget())
                other->close();
            return;
        }
        if (opened)
            *opened = true;
        action(dialog);
        dialog->close();
    });
}

void doubleClick(QListWidget* list, QPoint at) {
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}
void doubleClickRow(QListWidget* list, int row) {
    doubleClick(list, list->visualItemRect(list->item(row)).center());
}
QStringList rows(const QListWidget* list) {
    QStringList r;
    for (int i = 0; i < list->count(); ++i)
        r << list->item(i)->text();
    return r;
}

class OpenPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    void TearDown() override { doc::setFaultHook(nullptr); }
    void choose(const std::string& path) {
        prompter.files.push_back(QString::fromStdString(path));
        QTest::mouseClick(window.ButtonHtml, Qt::LeftButton);
    }

    TestPrompter prompter;
    TempDir dir;
    std::string page = dir.file("diary.html");
    std::string bak = dir.file("diary.BAK");
    TFormQuillet window;
};
} // namespace

TEST_F(OpenPageTest, FileDialogIsPreparedForPagesAndKeepsItsFirstFolder) {
    const QString start = QDir::currentPath();
    QTest::mouseClick(window.ButtonHtml, Qt::LeftButton); // cancelled
    EXPECT_EQ(window.EditHtml->text(), QStringLiteral("index.html"));
    ASSERT_EQ(prompter.fileDialogs.size(), 1u);
    const auto& d = prompter.fileDialogs[0];
    EXPECT_EQ(d.filter, QStringLiteral("すべて|*.*|HTML|*.html;*.htm|イメージ|*.jpg;*.jpeg;*.gif"));
    EXPECT_EQ(d.filterIndex, 2);
    EXPECT_EQ(d.defaultExt, QStringLiteral("html"));
    EXPECT_EQ(d.initialDir, start);

    QDir::setCurrent(QString::fromStdString(dir.path().string()));
    window.OpenDialog1.fileName = QStringLiteral("left over");
    QTest::mouseClick(window.ButtonHtml, Qt::LeftButton);
    QDir::setCurrent(start);
    EXPECT_EQ(prompter.fileDialogs[1].initialDir, start);
    EXPECT_TRUE(prompter.fileDialogs[1].fileName.isEmpty());
    EXPECT_TRUE(prompter.asked.empty());
}

TEST_F(OpenPageTest, NewNameIsCreatedOnlyWhenTheAuthorAgrees) {
    prompter.answers.push_back(platform::Answer::No);
    choose(page);
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].text, QStringLiteral("この名前で新規に作成しますか？"));
    EXPECT_EQ(prompter.asked[0].buttons, platform::Buttons::YesNo);
    EXPECT_TRUE(window.EditHtml->text().isEmpty());
    EXPECT_FALSE(exists(page));

    // Closing the colour dialog at once gives the starting colours.
    prompter.answers.push_back(platform::Answer::Yes);
    bool shown = false;
    whenModal<TFormColor>([](TFormColor*) {}, &shown);
    choose(page);
    EXPECT_TRUE(shown);
    EXPECT_EQ(window.EditHtml->text(), QString::fromStdString(page));
    EXPECT_EQ(readFile(page), kTemplateHead + bodyLine("#008080", "#080000", "#080000") + kTemplateTail);
    EXPECT_EQ(prompter.asked.size(), 2u);
}

TEST_F(OpenPageTest, NewPageTakesTheColoursPickedInTheColourDialog) {
    prompter.answers.push_back(platform::Answer::Yes);
    prompter.colors = {QColor(255, 255, 255), QColor(255, 0, 0)};
    whenModal<TFormColor>([](TFormColor* d) {
        QTest::mouseClick(d->Panel1, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseClick(d->LabelLink, Qt::LeftButton);
    });
    choose(page);
    EXPECT_EQ(readFile(page), kTemplateHead + bodyLine("#FFFFFF", "#000000", "#FF0000") + kTemplateTail);
    // The chooser opens on the colour picked last, black at first.
    EXPECT_EQ(prompter.colorStarts, (std::vector<QColor>{QColor(0, 0, 0), QColor(255, 255, 255)}));
}

TEST_F(OpenPageTest, ColourDialogFollowsTheSurfaceWithThePlainTextUntilItIsChosen) {
    TFormColor dialog(&window);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("FormColor"));
    EXPECT_EQ(dialog.size(), QSize(243, 96));
    dialog.show();
    auto pick = [&](QWidget* w, QColor c) {
        prompter.colors.push_back(c);
        QTest::mouseClick(w, Qt::LeftButton, {}, w == dialog.Panel1 ? QPoint(3, 3) : QPoint(4, 4));
    };
    pick(dialog.Panel1, QColor(0, 128, 128));
    EXPECT_EQ(doc::htmlColor(doc::ColorToHtml(dialog.colors().text)), "#FF7F7F");
    pick(dialog.Panel1, QColor(255, 255, 255)); // follows the second choice too
    EXPECT_EQ(dialog.colors().text & 0xFFFFFF, 0u);
    EXPECT_EQ(dialog.LabelText->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    EXPECT_EQ(dialog.LabelLink->palette().color(QPalette::WindowText),
              dialog.palette().color(QPalette::WindowText)); // links never follow

    pick(dialog.LabelText, QColor(0, 0, 255));
    prompter.colors.push_back(std::nullopt); // a cancelled chooser changes nothing
    QTest::mouseClick(dialog.LabelVLink, Qt::LeftButton);
    pick(dialog.Panel1, QColor(0, 0, 0));
    const doc::PageColors c = dialog.colors();
    EXPECT_EQ(c.background, 0u);
    EXPECT_EQ(c.text, 0x00FF0000u); // blue, red lowest: the chosen text colour stays
    EXPECT_EQ(c.visitedLink, 0x80000008u);
    EXPECT_EQ(c.link, 0x80000008u);
}

TEST_F(OpenPageTest, PageWithTheMarkerAnywhereShowsNothingFurther) {
    const std::string bytes = "<HTML>\r\n<P><!-INS-!>\r\n</HTML>\r\n";
    writeFile(page, bytes);
    bool shown = false;
    whenModal<TFormSetIns>([](TFormSetIns*) {}, &shown);
    choose(page);
    QApplication::processEvents();
    EXPECT_FALSE(shown);
    EXPECT_TRUE(prompter.asked.empty());
    EXPECT_EQ(window.EditHtml->text(), QString::fromStdString(page));
    EXPECT_EQ(readFile(page), bytes);
}

TEST_F(OpenPageTest, InsertionPointDialogPutsTheMarkerIntoThePage) {
    writeFile(page, kPlainPage);
    QStringList shown;
    whenModal<TFormSetIns>([&](TFormSetIns* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("書き込み開始位置の設定"));
        shown = rows(d->ListBox1);
        doubleClickRow(d->ListBox1, 3); // "</BODY>"
        doubleClickRow(d->ListBox1, 1); // "<BODY>", then take that marker out again
        doubleClickRow(d->ListBox1, 2);
    });
    choose(page);
    EXPECT_EQ(shown, QStringList({"<HTML>", "<BODY>", "日記", "</BODY>", "</HTML>"}));
    EXPECT_EQ(readFile(page), "<HTML>\r\n<BODY>\r\n\x93\xfa\x8b\x4c\r\n</BODY>\r\n<!-INS-!>\r\n</HTML>\r\n");
    EXPECT_EQ(readFile(bak), kPlainPage); // "取消" brings the page back
    EXPECT_EQ(window.EditHtml->text(), QString::fromStdString(page));
    EXPECT_TRUE(prompter.asked.empty());
}

TEST_F(OpenPageTest, ClosingWithoutAMarkerLeavesThePageAndClearsThePath) {
    const std::string lfPage = "<HTML>\n<BODY>\n</HTML>";
    writeFile(page, lfPage);
    QStringList shown;
    whenModal<TFormSetIns>([&](TFormSetIns* d) {
        shown = rows(d->ListBox1);
        doubleClickRow(d->ListBox1, 2);
        EXPECT_EQ(d->ListBox1->count(), 4);
        doubleClickRow(d->ListBox1, 3);
    });
    choose(page);
    EXPECT_EQ(shown, QStringList({"<HTML>", "<BODY>", "</HTML>"}));
    EXPECT_TRUE(window.EditHtml->text().isEmpty());
    EXPECT_EQ(readFile(page), lfPage);
    EXPECT_FALSE(exists(bak));
}

TEST_F(OpenPageTest, DoubleClickBelowTheLastLineActsOnTheSelectedLine) {
    writeFile(page, "<HTML>\n<BODY>\n</HTML>");
    whenModal<TFormSetIns>([&](TFormSetIns* d) {
        QListWidget* list = d->ListBox1;
        const QPoint below(10, list->visualItemRect(list->item(2)).bottom() + 30);
        doubleClick(list, below); // nothing selected: nothing happens
        EXPECT_EQ(list->count(), 3);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2)).center());
        doubleClick(list, below);
        EXPECT_EQ(rows(list), QStringList({"<HTML>", "<BODY>", "</HTML>", "<!-INS-!>"}));
    });
    choose(page);
    EXPECT_EQ(readFile(page), "<HTML>\n<BODY>\n</HTML>\r\n<!-INS-!>\r\n");
}

TEST_F(OpenPageTest, PageThatIsNotShiftJisIsRefusedUntouched) {
    const std::string utf8 = "<HTML>\r\n\xe6\x97\xa5\xe8\xa8\x98\r\n</HTML>\r\n";
    writeFile(page, utf8);
    bool shown = false;
    whenModal<TFormSetIns>([](TFormSetIns*) {}, &shown);
    choose(page);
    QApplication::processEvents();
    EXPECT_FALSE(shown);
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_TRUE(prompter.asked[0].text.contains(QStringLiteral("Shift-JIS")));
    EXPECT_TRUE(window.EditHtml->text().isEmpty());
    EXPECT_EQ(readFile(page), utf8);
}

TEST_F(OpenPageTest, FailuresAroundTheDialogShowTheirMessageAndKeepThePage) {
    writeFile(page, kPlainPage);
    doc::setFaultHook([this](doc::FileError::Step s, const std::string& path) {
        return s == doc::FileError::Step::Create && path == dir.file("diary.TMP") ? ENOSPC : 0;
    });
    whenModal<TFormSetIns>([](TFormSetIns* d) { doubleClickRow(d->ListBox1, 0); });
    choose(page);
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].kind, Asked::Error);
    EXPECT_EQ(prompter.asked[0].text,
              QStringLiteral("ファイル %1 を作成できません.").arg(QString::fromStdString(page)));
    EXPECT_EQ(readFile(page), kPlainPage);
    EXPECT_EQ(window.EditHtml->text(), QString::fromStdString(page));

    // A new page that cannot be created shows the file error; the path stays.
    doc::setFaultHook([](doc::FileError::Step s, const std::string&) {
        return s == doc::FileError::Step::Create ? EACCES : 0;
    });
    const std::string fresh = dir.file("new.html");
    prompter.answers.push_back(platform::Answer::Yes);
    whenModal<TFormColor>([](TFormColor*) {});
    choose(fresh);
    ASSERT_EQ(prompter.asked.size(), 3u);
    EXPECT_EQ(prompter.asked[2].kind, Asked::Error);
    EXPECT_EQ(prompter.asked[2].text, QStringLiteral("ファイルへのアクセスが拒否されました."));
    EXPECT_FALSE(exists(fresh));
    EXPECT_EQ(window.EditHtml->text(), QString::fromStdString(fresh));
}
