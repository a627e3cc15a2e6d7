#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <functional>
#include <unistd.h>

#include "../document/temp_dir.h"
#include "dialogs/color_dialog.h"
#include "dialogs/insertion_point_dialog.h"
#include "document/file_io.h"
#include "document/insertion_list.h"
#include "document/page_open.h"
#include "main/main_window.h"
#include "test_prompter.h"

using namespace quillet;
using namespace quillet::testing;
using ui::TFormColor;
using ui::TFormQuillet;
using ui::TFormSetIns;

namespace {
const std::string kPlainPage = "<HTML>\r\n<BODY>\r\n\x93\xfa\x8b\x4c\r\n</BODY>\r\n</HTML>\r\n";

std::string newPage(const char* bg, const char* text, const char* link) {
    return std::string("<HTML>\r<HEAD>\r<META http-equiv=\"Content-Type\" content=\"text/html; "
                       "charset=x-sjis\">\r\n<TITLE></TITLE>\r</HEAD>\r\n<BODY BGCOLOR=\"") +
           bg + "\" TEXT=\"" + text + "\" LINK=\"" + link +
           "\" VLINK=\"#080000\" ALINK=\"#080000\">\r\n"
           "<BR>\r<DIV ALIGN=\"center\">\r</DIV>\r<HR><BR>\r<!-INS-!>\r</BODY>\r</HTML>\r\n";
}

// Runs the action on the modal dialog of type D that the next call opens, then closes it by
// its close box as the author would; counts the dialogs seen.
template <class D> void whenModal(std::function<void(D*)> action, int* seen = nullptr) {
    QTimer::singleShot(0, [action, seen] {
        auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (seen)
            ++*seen;
        action(dialog);
        dialog->close();
    });
}

void doubleClick(QAbstractItemView* list, QPoint at) {
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}
QRect rowRect(const QAbstractItemView* list, int row) {
    return list->visualRect(list->model()->index(row, 0));
}
QPoint rowAt(const QAbstractItemView* list, int row) { return rowRect(list, row).center(); }
int rowCount(const QAbstractItemView* list) { return list->model()->rowCount(); }
QString rowText(const QAbstractItemView* list, int row) {
    return list->model()->index(row, 0).data().toString();
}
QStringList rows(const QAbstractItemView* list) {
    QStringList r;
    for (int i = 0; i < rowCount(list); ++i)
        r << rowText(list, i);
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
        QApplication::processEvents();
    }
    QString shownPath() const { return window.EditHtml->text(); }

    TestPrompter prompter;
    TempDir dir;
    std::string page = dir.file("diary.html");
    TFormQuillet window;
};
} // namespace

TEST_F(OpenPageTest, FileDialogIsPreparedForPagesAndKeepsItsFirstFolder) {
    const QString start = QDir::currentPath();
    QTest::mouseClick(window.ButtonHtml, Qt::LeftButton); // cancelled: nothing changes
    EXPECT_EQ(shownPath(), QStringLiteral("index.html"));
    QDir::setCurrent(QString::fromStdString(dir.path().string()));
    window.OpenDialog1.fileName = QStringLiteral("left over");
    QTest::mouseClick(window.ButtonHtml, Qt::LeftButton);
    QDir::setCurrent(start);

    ASSERT_EQ(prompter.fileDialogs.size(), 2u);
    const auto& d = prompter.fileDialogs[1];
    EXPECT_EQ(d.filter, QStringLiteral("すべて|*.*|HTML|*.html;*.htm|イメージ|*.jpg;*.jpeg;*.gif"));
    EXPECT_EQ(d.filterIndex, 2);
    EXPECT_EQ(d.defaultExt, QStringLiteral("html"));
    EXPECT_EQ(d.initialDir, start);
    EXPECT_TRUE(d.fileName.isEmpty());
    EXPECT_TRUE(prompter.asked.empty());
}

TEST_F(OpenPageTest, NewNameIsCreatedFromTheTemplateOnlyWhenTheAuthorAgrees) {
    prompter.answers = {platform::Answer::No, platform::Answer::Yes};
    choose(page);
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].text, QStringLiteral("この名前で新規に作成しますか？"));
    EXPECT_EQ(prompter.asked[0].buttons, platform::Buttons::YesNo);
    EXPECT_TRUE(shownPath().isEmpty());
    EXPECT_FALSE(exists(page));

    int seen = 0; // closed at once: the starting colours
    whenModal<TFormColor>([](TFormColor*) {}, &seen);
    choose(page);
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(shownPath(), QString::fromStdString(page));
    EXPECT_EQ(readFile(page), newPage("#008080", "#080000", "#080000"));
}

TEST_F(OpenPageTest, NewPageTakesTheColoursPickedInTheColourDialog) {
    prompter.answers = {platform::Answer::Yes};
    prompter.colors = {QColor(255, 255, 255), QColor(255, 0, 0)};
    whenModal<TFormColor>([](TFormColor* d) {
        QTest::mouseClick(d->Panel1, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseClick(d->LabelLink, Qt::LeftButton);
    });
    choose(page);
    EXPECT_EQ(readFile(page), newPage("#FFFFFF", "#000000", "#FF0000"));
    // The chooser opens on the colour picked last, black at first.
    EXPECT_EQ(prompter.colorStarts, (std::vector<QColor>{Qt::black, Qt::white}));
}

TEST_F(OpenPageTest, PlainTextFollowsTheSurfaceUntilItGetsAColourOfItsOwn) {
    TFormColor dialog(&window);
    dialog.show();
    auto pick = [&](QWidget* w, std::optional<QColor> c) {
        prompter.colors.push_back(c);
        QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(3, 3));
    };
    pick(dialog.Panel1, QColor(0, 128, 128));
    EXPECT_EQ(doc::htmlColor(doc::ColorToHtml(dialog.colors().text)), "#FF7F7F");
    pick(dialog.Panel1, Qt::white);
    EXPECT_EQ(dialog.LabelText->palette().color(QPalette::WindowText), Qt::black);
    EXPECT_EQ(dialog.LabelLink->palette().color(QPalette::WindowText),
              dialog.palette().color(QPalette::WindowText)); // links never follow

    pick(dialog.LabelText, Qt::blue);
    pick(dialog.LabelVLink, std::nullopt); // cancelled: nothing changes
    pick(dialog.Panel1, Qt::black);
    const doc::PageColors c = dialog.colors();
    EXPECT_EQ(c.background, 0u);
    EXPECT_EQ(c.text, 0x00FF0000u); // blue, red lowest
    EXPECT_EQ(c.visitedLink, 0x80000008u);
}

TEST_F(OpenPageTest, OnlyAPageWithAMarkerLineIsReadyWithoutTheDialog) {
    int seen = 0;
    const std::string marked = "<HTML>\r\n<!-INS-!>\r\n</HTML>\r\n";
    writeFile(page, marked);
    whenModal<TFormSetIns>([](TFormSetIns*) {}, &seen);
    choose(page);
    EXPECT_EQ(seen, 0);
    EXPECT_TRUE(prompter.asked.empty());
    EXPECT_EQ(shownPath(), QString::fromStdString(page));
    EXPECT_EQ(readFile(page), marked);

    // The marker shares its line: no rewrite could use it. Closing at once keeps the page.
    const std::string shared = "<HTML>\r\n<P><!-INS-!>\r\n</HTML>\r\n";
    writeFile(page, shared);
    whenModal<TFormSetIns>([](TFormSetIns*) {}, &seen);
    choose(page);
    EXPECT_EQ(seen, 1);
    EXPECT_TRUE(shownPath().isEmpty());
    EXPECT_EQ(readFile(page), shared);
}

TEST_F(OpenPageTest, LfOnlyPageIsSplitIntoLinesAndEntriesThenLandAfterTheMarker) {
    writeFile(page, "<HTML>\n<BODY>\n<!-INS-!>\n</BODY>\n</HTML>\n");
    QStringList shown;
    whenModal<TFormSetIns>([&](TFormSetIns* d) { shown = rows(d->ListBox1); });
    choose(page);
    EXPECT_EQ(shown, QStringList({"<HTML>", "<BODY>", "<!-INS-!>", "</BODY>", "</HTML>"}));
    EXPECT_EQ(readFile(page), "<HTML>\r\n<BODY>\r\n<!-INS-!>\r\n</BODY>\r\n</HTML>\r\n");
    EXPECT_EQ(shownPath(), QString::fromStdString(page));

    window.EditTitle->setText(QStringLiteral("t"));
    window.Memo1->setPlainText(QStringLiteral("b"));
    QTest::mouseClick(window.SpeedButtonSAVE, Qt::LeftButton);
    const std::string after = readFile(page);
    EXPECT_EQ(after.find("<!-INS-!>\r\n<!-TTL-A-!>"), std::string("<HTML>\r\n<BODY>\r\n").size());
    EXPECT_TRUE(prompter.asked.empty());
}

TEST_F(OpenPageTest, BytesThatAreNotShiftJisAreShownAsAStandInAndWrittenBackUnchanged) {
    const std::string mixed = "<HTML>\r\n\xff\x82 \x93\xfa\r\n</HTML>\r\n"; // no CP932, then CP932
    writeFile(page, mixed);
    QStringList shown;
    whenModal<TFormSetIns>([&](TFormSetIns* d) {
        shown = rows(d->ListBox1);
        doubleClick(d->ListBox1, rowAt(d->ListBox1, 1));
    });
    choose(page);
    ASSERT_EQ(shown.size(), 3);
    EXPECT_EQ(shown[1], QStringLiteral("\uFFFD\uFFFD 日"));
    EXPECT_EQ(readFile(page), "<HTML>\r\n\xff\x82 \x93\xfa\r\n<!-INS-!>\r\n</HTML>\r\n");
    EXPECT_EQ(readFile(dir.file("diary.BAK")), mixed);
}

TEST_F(OpenPageTest, InsertionPointDialogPutsTheMarkerIntoThePage) {
    writeFile(page, kPlainPage);
    QStringList shown;
    whenModal<TFormSetIns>([&](TFormSetIns* d) {
        shown = rows(d->ListBox1);
        doubleClick(d->ListBox1, rowAt(d->ListBox1, 3)); // "</BODY>"
        doubleClick(d->ListBox1, rowAt(d->ListBox1, 1)); // a marker after "<BODY>" ...
        doubleClick(d->ListBox1, rowAt(d->ListBox1, 2)); // ... taken out again
    });
    choose(page);
    EXPECT_EQ(shown, QStringList({"<HTML>", "<BODY>", "日記", "</BODY>", "</HTML>"}));
    EXPECT_EQ(readFile(page), "<HTML>\r\n<BODY>\r\n\x93\xfa\x8b\x4c\r\n</BODY>\r\n<!-INS-!>\r\n</HTML>\r\n");
    EXPECT_EQ(readFile(dir.file("diary.BAK")), kPlainPage); // "取消" brings it back
    EXPECT_EQ(shownPath(), QString::fromStdString(page));
}

TEST_F(OpenPageTest, DialogActsOnTheSelectedLineAndClosingWithoutAMarkerChangesNothing) {
    const std::string lfPage = "<HTML>\n<BODY>\n</HTML>";
    writeFile(page, lfPage);
    whenModal<TFormSetIns>([&](TFormSetIns* d) {
        QAbstractItemView* list = d->ListBox1;
        const QPoint below(10, rowRect(list, 2).bottom() + 30);
        doubleClick(list, below); // nothing selected: nothing happens
        EXPECT_EQ(rowCount(list), 3);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowAt(list, 2));
        doubleClick(list, below);
        EXPECT_EQ(rows(list), QStringList({"<HTML>", "<BODY>", "</HTML>", "<!-INS-!>"}));
        doubleClick(list, rowAt(list, 3));
    });
    choose(page);
    EXPECT_TRUE(shownPath().isEmpty());
    EXPECT_EQ(readFile(page), lfPage);
    EXPECT_FALSE(exists(dir.file("diary.BAK")));
}

TEST_F(OpenPageTest, FailuresShowTheirMessageAndKeepThePageAndThePath) {
    const QString shown = QString::fromStdString(page);
    writeFile(page, kPlainPage);
    doc::setFaultHook([this](doc::FileError::Step s, const std::string& path) {
        return s == doc::FileError::Step::Create && path == dir.file("diary.TMP") ? ENOSPC : 0;
    });
    whenModal<TFormSetIns>([](TFormSetIns* d) { doubleClick(d->ListBox1, rowAt(d->ListBox1, 0)); });
    choose(page);
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].kind, Asked::Error);
    EXPECT_EQ(prompter.asked[0].text,
              QStringLiteral("ファイル %1 を作成できません\rディスクがいっぱいです\r文書は元のままです.")
                  .arg(shown));
    EXPECT_EQ(readFile(page), kPlainPage);
    EXPECT_FALSE(exists(dir.file("diary.BAK")));
    EXPECT_EQ(shownPath(), shown);

    doc::setFaultHook([](doc::FileError::Step s, const std::string&) {
        return s == doc::FileError::Step::Open ? EACCES : 0;
    });
    choose(page);
    ASSERT_EQ(prompter.asked.size(), 2u);
    EXPECT_EQ(prompter.asked[1].text,
              QStringLiteral("ファイル %1 は開けません\rファイルへのアクセスが拒否されました.").arg(shown));
    EXPECT_EQ(shownPath(), shown);

    doc::setFaultHook([](doc::FileError::Step s, const std::string&) {
        return s == doc::FileError::Step::Create ? EACCES : 0;
    });
    const std::string fresh = dir.file("new.html");
    prompter.answers = {platform::Answer::Yes};
    whenModal<TFormColor>([](TFormColor*) {});
    choose(fresh);
    ASSERT_EQ(prompter.asked.size(), 4u);
    EXPECT_EQ(prompter.asked[3].text,
              QStringLiteral("ファイル %1 を作成できません\rファイルへのアクセスが拒否されました.")
                  .arg(QString::fromStdString(fresh)));
    EXPECT_FALSE(exists(fresh));
    EXPECT_EQ(shownPath(), QString::fromStdString(fresh));
    doc::setFaultHook(nullptr);

    // Another program makes the file while the colours are picked: it is not replaced.
    prompter.answers = {platform::Answer::Yes};
    whenModal<TFormColor>([&](TFormColor*) { writeFile(fresh, "theirs"); });
    choose(fresh);
    ASSERT_EQ(prompter.asked.size(), 6u);
    EXPECT_TRUE(prompter.asked[5].text.startsWith(
        QStringLiteral("ファイル %1 を作成できません\r").arg(QString::fromStdString(fresh))));
    EXPECT_EQ(readFile(fresh), "theirs");
}

TEST_F(OpenPageTest, PageBeyondTheOldLimitsIsListedAndTheKeysReachItsEnd) {
    // More lines than the list held once (1,048,576), and a last line longer than the 32 MB it
    // took, without a line end.
    constexpr int kShortLines = 1100000;
    std::string bytes = "<HTML>\r\n";
    for (int i = 0; i < kShortLines; ++i)
        bytes += "x\r\n";
    bytes.append(33u << 20, 'L');
    writeFile(page, bytes);
    const int last = kShortLines + 1;
    whenModal<TFormSetIns>([&](TFormSetIns* d) {
        QAbstractItemView* list = d->ListBox1;
        ASSERT_EQ(rowCount(list), last + 1);
        EXPECT_EQ(rowText(list, last), QString(4096, QLatin1Char('L')) + QChar(0x2026)); // cut for showing
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowAt(list, 0));
        QTest::keyClick(list, Qt::Key_End);
        EXPECT_EQ(list->currentIndex().row(), last);
        EXPECT_TRUE(list->viewport()->rect().contains(rowRect(list, last)));
        EXPECT_EQ(list->indexAt(rowAt(list, last - 1)).row(), last - 1);

        doubleClick(list, rowAt(list, last - 1)); // a short line near the end
        EXPECT_EQ(rowText(list, last), QStringLiteral("<!-INS-!>"));
        doubleClick(list, rowAt(list, last)); // and its marker row again
        EXPECT_EQ(rowCount(list), last + 1);
        QTest::keyClick(list, Qt::Key_Home);
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Return); // Enter acts like a double-click
        EXPECT_EQ(rowText(list, 2), QStringLiteral("<!-INS-!>"));
        QTest::keyClick(list, Qt::Key_End);
        QTest::keyClick(list, Qt::Key_Enter);
        ASSERT_EQ(rowCount(list), last + 3);
        EXPECT_EQ(rowText(list, last + 2), QStringLiteral("<!-INS-!>"));
    });
    choose(page);
    EXPECT_TRUE(prompter.asked.empty());
    const std::string after = readFile(page);
    EXPECT_EQ(after.size(), bytes.size() + 2 + 2 * 11);
    EXPECT_EQ(after.substr(0, 25), "<HTML>\r\nx\r\n<!-INS-!>\r\nx\r\n");
    EXPECT_EQ(after.substr(after.size() - 17), "LLLL\r\n<!-INS-!>\r\n");
    EXPECT_EQ(std::filesystem::file_size(dir.file("diary.BAK")), bytes.size());
}

TEST_F(OpenPageTest, DialogShowsLinesInTheCodecItIsGivenAndWritesTheirBytesBack) {
    const std::string utf8 = "<P>\xc3\xa9\xff</P>\r\n</HTML>\r\n"; // é, then a byte UTF-8 never has
    writeFile(page, utf8);
    TFormSetIns dialog(&window);
    dialog.load(doc::loadInsertionList(page), platform::PageCodec("UTF-8"));
    EXPECT_EQ(rows(dialog.ListBox1),
              QStringList({QStringLiteral("<P>é\uFFFD</P>"), QStringLiteral("</HTML>")}));
    dialog.show();
    QTest::mouseClick(dialog.ListBox1->viewport(), Qt::LeftButton, {}, rowAt(dialog.ListBox1, 0));
    dialog.ListBox1DblClick();
    EXPECT_EQ(doc::saveInsertionList(page, dialog.lines()), doc::SaveListOutcome::Saved);
    EXPECT_EQ(readFile(page), "<P>\xc3\xa9\xff</P>\r\n<!-INS-!>\r\n</HTML>\r\n");
}
