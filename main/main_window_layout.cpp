// The window's layout: the docked tool bars beside the editor, the panel buttons, help and about.
#include <QLabel>
#include <QPlainTextEdit>
#include <QRubberBand>
#include <QStatusBar>
#include <QTimer>

#include "dialogs/about_box.h"
#include "dialogs/help_window.h"
#include "main/layout_rule.h"
#include "main/main_window_private.h"
#include "main/tool_bar.h"

namespace quillet::ui {

namespace {
constexpr int kStatusHeight = 24;

layout::Bar barState(const ToolBarPanel* bar) {
    return {bar->isShownBar(), !bar->isFloating(), bar->width(), bar->height(), bar->y()};
}
} // namespace

void TFormQuillet::connectLayoutHandlers() {
    onClick(SpeedButtonPanel1, [this] { SpeedButtonPanelClick(SpeedButtonPanel1); });
    onClick(SpeedButtonPanel2, [this] { SpeedButtonPanelClick(SpeedButtonPanel2); });
    onClick(SpeedButtonHelp, [this] { SpeedButtonHelpClick(); });
    onClick(SpeedButtonAbout, [this] { SpeedButtonAboutClick(); });
    // A floating bar's window is named after the panel button that hides and shows it.
    CoolBar1->floatWindow()->setWindowTitle(SpeedButtonPanel1->text());
    CoolBar2->floatWindow()->setWindowTitle(SpeedButtonPanel2->text());
    for (ToolBarPanel* bar : {CoolBar1, CoolBar2}) {
        connect(bar, &ToolBarPanel::dropped, this, [this, bar](const QPoint& topLeft, const QPoint& cursor) {
            platform::runCommand(this, [&] { CoolBarDrop(bar, topLeft, cursor); });
        });
        connect(bar, &ToolBarPanel::titleDragged, this,
                [this, bar](const QPoint& topLeft, const QPoint& cursor) {
                    CoolBarDragOver(bar, topLeft, cursor);
                });
        connect(bar, &ToolBarPanel::titleDropped, this,
                [this, bar](const QPoint& topLeft, const QPoint& cursor) {
                    platform::runCommand(this, [&] { CoolBarTitleDrop(bar, topLeft, cursor); });
                });
    }
}

void TFormQuillet::FormResize() {
    const int w = width();
    const int h = height();
    Splitter1->setGeometry(0, 0, w, Splitter1->height());
    StatusBar1->setGeometry(0, h - kStatusHeight, w, kStatusHeight);

    const layout::Result r =
        layout::arrange({w, h, Splitter1->height(), kStatusHeight, barState(CoolBar1), barState(CoolBar2)});
    Memo1->setGeometry(r.editor.left, r.editor.top, r.editor.width, r.editor.height);
    if (r.command)
        CoolBar1->move(r.command->left, r.command->top);
    if (r.markup)
        CoolBar2->move(r.markup->left, r.markup->top);
}

// The start places are computed when the window is first shown, but a window manager frames
// the windows only afterwards, adding title bars the places did not allow for: the markup bar
// would cover the command bar's foot. So they are placed again once the frames are known,
// unless the user has dragged a bar by then.
void TFormQuillet::followFrames() {
    for (int ms : {250, 1000})
        QTimer::singleShot(ms, this, [this] {
            if (!barsDragged_ && CoolBar1->isFloating() && CoolBar2->isFloating())
                floatToolBars();
        });
}

void TFormQuillet::CoolBarDragOver(ToolBarPanel* bar, const QPoint& topLeft, const QPoint& cursor) {
    // Over the client area the outline shows where the bar docks when it is let go there.
    if (!rect().contains(mapFromGlobal(cursor))) {
        if (dockOutline_)
            dockOutline_->hide();
        return;
    }
    layout::Bar moving{true, true, bar->width(), bar->height(), mapFromGlobal(topLeft).y()};
    const bool command = bar == CoolBar1;
    const layout::Result r =
        layout::arrange({width(), height(), Splitter1->height(), kStatusHeight,
                         command ? moving : barState(CoolBar1), command ? barState(CoolBar2) : moving});
    const std::optional<layout::Spot> spot = command ? r.command : r.markup;
    if (!spot)
        return;
    if (!dockOutline_)
        dockOutline_ = new QRubberBand(QRubberBand::Rectangle, this);
    dockOutline_->setGeometry(spot->left, spot->top, bar->width(), bar->height());
    dockOutline_->show();
    dockOutline_->raise();
}

void TFormQuillet::CoolBarTitleDrop(ToolBarPanel* bar, const QPoint& topLeft, const QPoint& cursor) {
    // Let go over the client area, the bar docks; anywhere else the window manager has put
    // its window where the author wanted it.
    if (dockOutline_)
        dockOutline_->hide();
    if (!rect().contains(mapFromGlobal(cursor)))
        return;
    barsDragged_ = true;
    dockBar(bar, mapFromGlobal(topLeft));
}

void TFormQuillet::CoolBarDrop(ToolBarPanel* bar, const QPoint& topLeft, const QPoint& cursor) {
    if (dockOutline_)
        dockOutline_->hide();
    barsDragged_ = true;
    // Let go over the client area, the bar docks; anywhere else it floats where it was let go.
    if (rect().contains(mapFromGlobal(cursor)))
        dockBar(bar, mapFromGlobal(topLeft));
    else
        floatBar(bar, topLeft);
}

void TFormQuillet::dockBar(ToolBarPanel* bar, const QPoint& pointInWindow) {
    bar->dockInto(this, pointInWindow);
    CoolBarEndDock(bar);
}

void TFormQuillet::floatBar(ToolBarPanel* bar, const QPoint& screenPoint) {
    // The point is where the bar itself goes; its window's frame goes above and left of it.
    QWidget* window = bar->floatWindow();
    const QPoint frame = window->geometry().topLeft() - window->frameGeometry().topLeft();
    bar->floatAt(screenPoint - frame);
    CoolBarEndDock(bar);
}

void TFormQuillet::CoolBarEndDock(ToolBarPanel*) { FormResize(); }

void TFormQuillet::SpeedButtonPanelClick(QObject* sender) {
    ToolBarPanel* bar = sender == SpeedButtonPanel1 ? CoolBar1 : CoolBar2;
    bar->setShownBar(!bar->isShownBar());
    FormResize();
}

void TFormQuillet::SpeedButtonHelpClick() {
    // The window lives from one press to the next; closed with its own close box it is only
    // hidden, so the next press discards it and the one after shows it again.
    if (FormHelp) {
        delete FormHelp;
        FormHelp = nullptr;
        return;
    }
    FormHelp = new TFormHelp(this);
    FormHelp->show();
}

void TFormQuillet::SpeedButtonAboutClick() {
    TFormTallow box(this, SpeedButtonAbout->icon());
    box.Label1->setText(texts::AboutProgram);
    box.exec();
}

} // namespace quillet::ui
