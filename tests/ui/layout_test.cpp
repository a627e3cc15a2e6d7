#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>
#include <QToolButton>

#include "dialogs/about_box.h"
#include "dialogs/help_window.h"
#include "main/layout_rule.h"
#include "main/main_window.h"
#include "main/tool_bar.h"
#include "test_prompter.h"

using namespace quillet;
using namespace quillet::ui;

namespace {

// ---- The rule on its own: band 113, status bar 24, bars 157 x 228 and 157 x 85. ----

using Spot = std::optional<layout::Spot>;

struct RuleRow {
    const char* name; // shown with a failure
    int clientWidth, clientHeight;
    layout::Bar command, markup;
    layout::Box editor;
    Spot commandAt, markupAt;
};

// A bar of the given size, docked with its current top, or floating (top < 0); shown or not.
layout::Bar commandBar(int top, bool shown = true) { return {shown, top >= 0, 157, 228, top}; }
layout::Bar markupBar(int top, bool shown = true) { return {shown, top >= 0, 157, 85, top}; }
constexpr int kFloat = -1;

const RuleRow kRuleRows[] = {
    // At start both float: the editor has the whole area, hidden or not.
    {"BothFloating", 455, 460, commandBar(kFloat), markupBar(kFloat), {0, 113, 455, 323}, {}, {}},
    {"FloatingHiddenBar", 455, 460, commandBar(kFloat, false), markupBar(kFloat), {0, 113, 455, 323}, {}, {}},
    // Dock only the markup bar: editor 290 wide, bar at 294, 4 below the band.
    {"OnlyMarkupDocked",
     455,
     460,
     commandBar(kFloat),
     markupBar(200),
     {0, 113, 290, 323},
     {},
     layout::Spot{294, 117}},
    // The command bar dropped above the docked markup bar: 228 + 8 below the band for the latter.
    {"CommandAboveMarkup",
     455,
     460,
     commandBar(120),
     markupBar(300),
     {0, 113, 290, 323},
     layout::Spot{294, 117},
     layout::Spot{294, 113 + 236}},
    {"MarkupAboveCommand",
     455,
     460,
     commandBar(400),
     markupBar(300),
     {0, 113, 290, 323},
     layout::Spot{294, 113 + 8 + 85},
     layout::Spot{294, 117}},
    {"EqualTopsPutMarkupAbove",
     455,
     460,
     commandBar(300),
     markupBar(300),
     {0, 113, 290, 323},
     layout::Spot{294, 113 + 8 + 85},
     layout::Spot{294, 117}},
    // Hiding one docked bar: the other stays where the rule puts it, with no room kept above it.
    {"UpperDockedBarHidden",
     455,
     460,
     commandBar(0, false),
     markupBar(500),
     {0, 113, 290, 323},
     layout::Spot{294, 117},
     layout::Spot{294, 113 + 8}},
    {"LowerDockedBarHidden",
     455,
     460,
     commandBar(0),
     markupBar(500, false),
     {0, 113, 290, 323},
     layout::Spot{294, 117},
     layout::Spot{294, 113 + 236}},
    // Both docked bars hidden: an empty 8-pixel strip stays at the editor's right.
    {"BothDockedBarsHidden",
     455,
     460,
     commandBar(0, false),
     markupBar(500, false),
     {0, 113, 447, 323},
     layout::Spot{451, 117},
     layout::Spot{451, 113 + 8}},
    {"HiddenDockedBarOtherFloating",
     455,
     460,
     commandBar(0, false),
     markupBar(kFloat, false),
     {0, 113, 447, 323},
     layout::Spot{451, 117},
     {}},
    // Resizing keeps the bars at the editor's right edge, the editor 8 + 157 narrower.
    {"ResizedWithOneBar",
     700,
     460,
     commandBar(kFloat),
     markupBar(200),
     {0, 113, 535, 323},
     {},
     layout::Spot{539, 117}},
    {"ResizedWithTwoBars",
     600,
     700,
     commandBar(120),
     markupBar(300),
     {0, 113, 435, 563},
     layout::Spot{439, 117},
     layout::Spot{439, 349}},
    // A window smaller than band and status bar gives the editor no negative size.
    {"TinyWindow", 100, 120, commandBar(0), markupBar(kFloat), {0, 113, 0, 0}, layout::Spot{4, 117}, {}},
};

TEST(LayoutRule, PlacesEditorAndDockedBarsInEveryExample) {
    for (const RuleRow& row : kRuleRows) {
        SCOPED_TRACE(row.name);
        const layout::Input in{row.clientWidth, row.clientHeight, 113, 24, row.command, row.markup};
        const layout::Result r = layout::arrange(in);
        EXPECT_EQ(r.editor, row.editor);
        EXPECT_EQ(r.command, row.commandAt);
        EXPECT_EQ(r.markup, row.markupAt);
    }
}

// ---- The window: dragging, panels, help, about. ----

class LayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    }
    void click(QToolButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
    // Takes the bar by its grip and lets go with the grip's press point at the screen point.
    void drag(ToolBarPanel* bar, QPoint screenTarget) {
        QWidget* grip = bar->grip();
        const QPoint hold(20, 3);
        const QPoint start = grip->mapToGlobal(hold);
        QTest::mousePress(grip, Qt::LeftButton, {}, hold);
        for (int step = 1; step <= 4; ++step)
            QTest::mouseMove(grip, grip->mapFromGlobal(start + (screenTarget - start) * step / 4));
        QTest::mouseRelease(grip, Qt::LeftButton, {}, grip->mapFromGlobal(screenTarget));
    }
    // Drops the bar so that its top-left corner lands at the point of the main window.
    void dragInto(ToolBarPanel* bar, QPoint inWindow) {
        drag(bar, w.mapToGlobal(inWindow + bar->grip()->mapTo(bar, QPoint(20, 3))));
    }
    QRect editor() const { return w.Memo1->geometry(); }

    quillet::testing::TestPrompter prompter;
    TFormQuillet w;
};

TEST_F(LayoutTest, DraggingBarsInStacksThemBesideTheEditorAndOutFloatsThem) {
    dragInto(w.CoolBar2, QPoint(100, 200));
    EXPECT_FALSE(w.CoolBar2->isFloating());
    EXPECT_TRUE(w.isAncestorOf(w.CoolBar2));
    EXPECT_FALSE(w.CoolBar2->floatWindow()->isVisible());
    EXPECT_TRUE(w.CoolBar2->isVisible());
    EXPECT_EQ(editor(), QRect(0, 113, 290, 323));
    EXPECT_EQ(w.CoolBar2->geometry(), QRect(294, 117, 157, 85));

    dragInto(w.CoolBar1, QPoint(50, 114)); // above the markup bar
    EXPECT_FALSE(w.CoolBar1->isFloating());
    EXPECT_EQ(w.CoolBar1->geometry(), QRect(294, 117, 157, 228));
    EXPECT_EQ(w.CoolBar2->pos(), QPoint(294, 113 + 236));

    w.resize(600, 700); // the bars follow the editor's right edge
    EXPECT_EQ(editor(), QRect(0, 113, 600 - 8 - 157, 700 - 113 - 24));
    EXPECT_EQ(w.CoolBar1->pos(), QPoint(600 - 157 - 4, 117));
    EXPECT_EQ(w.CoolBar2->pos(), QPoint(600 - 157 - 4, 349));

    dragInto(w.CoolBar1, QPoint(10, 400)); // dragged below the other one inside the window
    EXPECT_FALSE(w.CoolBar1->isFloating());
    EXPECT_EQ(w.CoolBar2->pos(), QPoint(600 - 157 - 4, 117));
    EXPECT_EQ(w.CoolBar1->pos(), QPoint(600 - 157 - 4, 113 + 8 + 85));

    const QPoint outside = w.frameGeometry().bottomRight() + QPoint(40, -300);
    dragInto(w.CoolBar2, w.mapFromGlobal(outside));
    EXPECT_TRUE(w.CoolBar2->isFloating());
    EXPECT_TRUE(w.CoolBar2->floatWindow()->isVisible());
    EXPECT_EQ(w.CoolBar2->mapToGlobal(QPoint(0, 0)), outside);
    EXPECT_EQ(w.CoolBar1->pos(), QPoint(600 - 157 - 4, 117));

    w.floatBar(w.CoolBar1, QPoint(10, 10));
    EXPECT_EQ(editor(), QRect(0, 113, 600, 700 - 113 - 24));
    EXPECT_FALSE(w.isAncestorOf(w.CoolBar1));
}

TEST_F(LayoutTest, ABarDocksWhenLetGoOverTheClientAreaAndFloatsElsewhere) {
    struct Drop {
        QPoint cursor; // in the window's client area
        bool docks;
    };
    for (const Drop& d : {Drop{{454, 459}, true}, Drop{{10, 10}, true}, Drop{{0, 0}, true},
                          Drop{{455, 200}, false}, Drop{{200, 460}, false}, Drop{{-1, 200}, false}}) {
        drag(w.CoolBar2, w.mapToGlobal(d.cursor));
        EXPECT_EQ(!w.CoolBar2->isFloating(), d.docks) << d.cursor.x() << "," << d.cursor.y();
        EXPECT_EQ(editor().width(), d.docks ? 290 : 455);
        if (!d.docks) { // where it was let go
            const QPoint held = w.CoolBar2->grip()->mapTo(w.CoolBar2, QPoint(20, 3));
            EXPECT_EQ(w.CoolBar2->mapToGlobal(QPoint(0, 0)), w.mapToGlobal(d.cursor) - held);
        }
    }
    // The start places are renewed once the desktop has framed the windows, but never over
    // the user's own.
    const QPoint placed = w.CoolBar2->mapToGlobal(QPoint(0, 0));
    QTest::qWait(1100);
    EXPECT_EQ(w.CoolBar2->mapToGlobal(QPoint(0, 0)), placed);
}

// A window manager that moves a floating bar's window by its title bar reports the move when
// it is over; let go with the pointer over the client area, the bar docks there.
TEST_F(LayoutTest, ABarMovedByItsTitleBarDocksWhenLetGoOverTheWindow) {
    QWidget* window = w.CoolBar2->floatWindow();
    // Moved with the pointer elsewhere (the desktop placing it): nothing happens.
    QCursor::setPos(w.mapToGlobal(QPoint(200, 200)));
    window->move(w.mapToGlobal(QPoint(300, 300)));
    EXPECT_TRUE(w.CoolBar2->isFloating());
    // Let go outside the main window: it floats where it was put.
    QCursor::setPos(w.frameGeometry().topRight() + QPoint(60, 40));
    window->move(w.frameGeometry().topRight() + QPoint(20, 30));
    EXPECT_TRUE(w.CoolBar2->isFloating());
    EXPECT_EQ(window->pos(), w.frameGeometry().topRight() + QPoint(20, 30));
    EXPECT_EQ(editor().width(), 455);
    // Let go over the client area: it docks.
    QCursor::setPos(w.mapToGlobal(QPoint(200, 200)));
    window->move(w.mapToGlobal(QPoint(150, 190)));
    EXPECT_FALSE(w.CoolBar2->isFloating());
    EXPECT_EQ(editor().width(), 290);
    EXPECT_EQ(w.CoolBar2->pos(), QPoint(294, 117));
}

TEST_F(LayoutTest, AClickOnTheGripMovesNothing) {
    const QPoint before = w.CoolBar1->floatWindow()->pos();
    QTest::mouseClick(w.CoolBar1->grip(), Qt::LeftButton, {}, QPoint(20, 3));
    EXPECT_TRUE(w.CoolBar1->isFloating());
    EXPECT_EQ(w.CoolBar1->floatWindow()->pos(), before);
}

TEST_F(LayoutTest, PanelButtonsHideAndShowBarsDockedOrFloating) {
    click(w.SpeedButtonPanel1);
    EXPECT_FALSE(w.CoolBar1->floatWindow()->isVisible());
    EXPECT_FALSE(w.CoolBar1->isShownBar());
    click(w.SpeedButtonPanel1);
    EXPECT_TRUE(w.CoolBar1->floatWindow()->isVisible());

    w.dockBar(w.CoolBar1, QPoint(0, 120));
    w.dockBar(w.CoolBar2, QPoint(0, 300));
    click(w.SpeedButtonPanel1);
    EXPECT_FALSE(w.CoolBar1->isVisible());
    EXPECT_FALSE(w.CoolBar1->isFloating()); // hidden, still docked
    EXPECT_EQ(w.CoolBar2->pos(), QPoint(294, 113 + 8));
    EXPECT_EQ(editor().width(), 290);
    click(w.SpeedButtonPanel2);
    EXPECT_FALSE(w.CoolBar2->isVisible());
    EXPECT_EQ(editor().width(), 455 - 8);
    click(w.SpeedButtonPanel1);
    EXPECT_TRUE(w.CoolBar1->isVisible());
    EXPECT_EQ(w.CoolBar1->geometry(), QRect(294, 117, 157, 228));

    // A bar dragged out while hidden would be lost; floating keeps it hidden until pressed.
    w.floatBar(w.CoolBar2, QPoint(20, 20));
    EXPECT_FALSE(w.CoolBar2->floatWindow()->isVisible());
    click(w.SpeedButtonPanel2);
    EXPECT_TRUE(w.CoolBar2->floatWindow()->isVisible());
}

TEST_F(LayoutTest, BarsKeepTheirSize) {
    QWidget* window = w.CoolBar1->floatWindow();
    window->resize(300, 400);
    w.CoolBar1->resize(10, 10);
    EXPECT_EQ(window->size(), QSize(157, 228));
    EXPECT_EQ(w.CoolBar1->size(), QSize(157, 228));
    w.dockBar(w.CoolBar2, QPoint(0, 200));
    w.CoolBar2->setGeometry(0, 0, 500, 500);
    EXPECT_EQ(w.CoolBar2->size(), QSize(157, 85));
}

TEST_F(LayoutTest, HelpComesAndGoesWithItsButton) {
    click(w.SpeedButtonHelp);
    TFormHelp* help = w.helpWindow();
    ASSERT_TRUE(help);
    EXPECT_TRUE(help->isVisible());
    EXPECT_FALSE(help->isModal());
    EXPECT_EQ(help->windowTitle(), QStringLiteral("Quilletの使い方"));
    EXPECT_TRUE(help->Memo1->isReadOnly());
    const QString text = help->Memo1->toPlainText();
    EXPECT_TRUE(text.startsWith(QStringLiteral("■QuilletはWebの作成者がお知らせや日記のようなページの\n"
                                               "追加更新をお手伝いするための道具です。\n\n１．")));
    EXPECT_TRUE(text.contains(QStringLiteral("\n『最後の書き込みを削除』を押して削除してください。\n")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("\nを終了しましょう。\n")));
    EXPECT_EQ(text.count(u'\n'), 36);
    // At its first size every line of the text stands whole on one line of its own.
    QTextDocument* document = help->Memo1->document();
    EXPECT_EQ(document->blockCount(), 37);
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        EXPECT_LE(block.layout()->lineCount(), 1) << block.text().toStdString();
    EXPECT_EQ(help->Memo1->horizontalScrollBar()->maximum(), 0);
    EXPECT_TRUE(w.Memo1->isEnabled()); // not modal: the main window still works

    click(w.SpeedButtonHelp);
    EXPECT_FALSE(w.helpWindow());

    // Closed by its own close box it is only hidden: the next press discards it, the one after
    // shows it again.
    click(w.SpeedButtonHelp);
    w.helpWindow()->close();
    ASSERT_TRUE(w.helpWindow());
    EXPECT_FALSE(w.helpWindow()->isVisible());
    click(w.SpeedButtonHelp);
    EXPECT_FALSE(w.helpWindow());
    click(w.SpeedButtonHelp);
    ASSERT_TRUE(w.helpWindow());
    EXPECT_TRUE(w.helpWindow()->isVisible());
}

// Opens the about box, looks at it, and clicks the given part of it (null: the background).
struct AboutSeen {
    bool opened = false;
    QString caption, firstLine, url, mail;
    QPoint position;
    QSize size;
    bool frameless = false;
    QString shownCaption;
    bool clientBelowCaption = false;
    QColor background, text;
    QSize smallPicture, largePicture;
    bool stillOpenAfterClick = true;
};

AboutSeen openAbout(TFormQuillet& w, QLabel* TFormTallow::*part) {
    AboutSeen seen;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<TFormTallow*>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen.opened = true;
        seen.caption = box->windowTitle();
        seen.firstLine = box->Label1->text();
        seen.url = box->Label2->text();
        seen.mail = box->Label3->text();
        seen.position = box->pos();
        seen.size = box->Client->size();
        seen.frameless = box->windowFlags().testFlag(Qt::FramelessWindowHint);
        seen.shownCaption = box->Caption->text();
        seen.clientBelowCaption = box->Client->y() >= box->Caption->geometry().bottom();
        seen.background = box->Client->palette().color(QPalette::Window);
        seen.text = box->Label2->palette().color(QPalette::WindowText);
        seen.smallPicture = box->Image1->pixmap().size();
        seen.largePicture = box->Image2->pixmap().size();
        if (part)
            QTest::mouseClick(box->*part, Qt::LeftButton, {}, QPoint(5, 5));
        else
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(80, 80));
        seen.stillOpenAfterClick = QApplication::activeModalWidget() == box;
        if (seen.stillOpenAfterClick)
            box->reject();
    });
    QTest::mouseClick(w.SpeedButtonAbout, Qt::LeftButton);
    return seen;
}

TEST_F(LayoutTest, AboutBoxShowsTheMakerAndClosesOnAnyClick) {
    for (QLabel* TFormTallow::*part :
         {&TFormTallow::Label1, &TFormTallow::Label3, &TFormTallow::Image2, &TFormTallow::Caption,
          static_cast<QLabel * TFormTallow::*>(nullptr)}) {
        const AboutSeen seen = openAbout(w, part);
        ASSERT_TRUE(seen.opened);
        EXPECT_EQ(seen.caption, maker::Name);
        EXPECT_EQ(seen.firstLine, QStringLiteral("Quillet 試作品"));
        EXPECT_EQ(seen.url, QStringLiteral("URL: ") + maker::Url);
        EXPECT_EQ(seen.mail, QStringLiteral("E-mail: ") + maker::Mail);
        EXPECT_EQ(seen.position, QPoint(192, 107));
        EXPECT_EQ(seen.size, QSize(341, 86));
        // Its own frame: a caption that names the maker, and no buttons of a window manager.
        EXPECT_TRUE(seen.frameless);
        EXPECT_EQ(seen.shownCaption, maker::Name);
        EXPECT_TRUE(seen.clientBelowCaption);
        EXPECT_EQ(seen.background, QColor(0, 0, 255));
        EXPECT_EQ(seen.text, QColor(255, 255, 0));
        // The program's picture, from the resources linked into the binary.
        EXPECT_EQ(seen.smallPicture, QSize(32, 32));
        EXPECT_EQ(seen.largePicture, QSize(64, 64));
        EXPECT_FALSE(seen.stillOpenAfterClick);
    }
    EXPECT_FALSE(w.findChild<TFormTallow*>()); // gone after each use
    EXPECT_TRUE(prompter.asked.empty());
}

} // namespace
