#include "main/tool_bar.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QRubberBand>
#include <QTimer>
#include <QWindow>

#include "main/texts.h"
#include "platform/pointer.h"

namespace quillet::ui {

namespace {
constexpr int kGripHeight = 6;

// The strip along the bar's foot that shows where to take hold of it. Its mouse events are
// left to the bar, which does the dragging.
class Grip : public QWidget {
public:
    explicit Grip(QWidget* bar) : QWidget(bar) {
        setObjectName(QStringLiteral("Grip"));
        setCursor(Qt::SizeAllCursor);
        setToolTip(texts::GripTip);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QColor light = palette().color(QPalette::Light);
        const QColor dark = palette().color(QPalette::Mid);
        for (int x = 1; x + 2 < width(); x += 4)
            for (int y = 1; y + 2 <= height(); y += 3) {
                p.fillRect(x + 1, y + 1, 1, 1, light);
                p.fillRect(x, y, 1, 1, dark);
            }
    }
};
} // namespace

ToolBarPanel::ToolBarPanel(const char* name, int width, int height, QWidget* owner)
    : QFrame(nullptr), fixed_(width, height) {
    setObjectName(QString::fromLatin1(name));
    setFrameShape(QFrame::StyledPanel);
    setFixedSize(fixed_);
    grip_ = new Grip(this);
    // The buttons leave a margin of at least ten pixels along the foot of either bar.
    grip_->setGeometry(4, height - kGripHeight - 2, width - 8, kGripHeight);
    floatWindow_ = new QWidget(owner, Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    floatWindow_->setObjectName(QString::fromLatin1(name) + QStringLiteral("Window"));
    // Its buttons speak in the main window's font, floating or docked.
    floatWindow_->setAttribute(Qt::WA_WindowPropagation);
    floatWindow_->setFixedSize(fixed_);
    floatWindow_->installEventFilter(this);
    titleDrag_ = new QTimer(this);
    titleDrag_->setInterval(30);
    connect(titleDrag_, &QTimer::timeout, this, &ToolBarPanel::followTitleDrag);
    setParent(floatWindow_);
    move(0, 0);
}

ToolBarPanel::~ToolBarPanel() { delete outline_; }

void ToolBarPanel::floatAt(const QPoint& topLeft) {
    if (parentWidget() != floatWindow_) {
        setParent(floatWindow_);
        move(0, 0);
    }
    floatWindow_->setFixedSize(fixed_);
    placing_ = true;
    floatWindow_->move(topLeft);
    placing_ = false;
    show();
    applyShown();
}

void ToolBarPanel::dockInto(QWidget* site, const QPoint& topLeft) {
    if (parentWidget() != site) {
        setParent(site);
        floatWindow_->hide();
    }
    move(topLeft);
    raise();
    applyShown();
}

void ToolBarPanel::setShownBar(bool shown) {
    shown_ = shown;
    applyShown();
}

void ToolBarPanel::applyShown() {
    if (isFloating()) {
        show();
        floatWindow_->setVisible(shown_);
    } else {
        setVisible(shown_);
    }
}

bool ToolBarPanel::eventFilter(QObject* watched, QEvent* event) {
    // The tool window has no close box, but the desktop may still close it: that hides the bar
    // as its panel button would, so the button brings it back.
    if (watched == floatWindow_ && event->type() == QEvent::Close && isFloating())
        shown_ = false;
    // Moved by someone else with the pointer on it: the window manager drags it by its title
    // bar. Some report each step while the button is held, and say nothing when it is let go,
    // so the button is watched from then on; others report the move once, when it is over.
    if (watched == floatWindow_ && event->type() == QEvent::Move && isFloating() && !placing_ &&
        !titleDrag_->isActive()) {
        const QWindow* window = floatWindow_->windowHandle();
        if (window && window->frameGeometry().contains(QCursor::pos())) {
            if (platform::leftButtonDown())
                titleDrag_->start();
            else
                emit titleDropped(mapToGlobal(QPoint(0, 0)), QCursor::pos());
        }
    }
    return QFrame::eventFilter(watched, event);
}

void ToolBarPanel::followTitleDrag() {
    const QPoint cursor = QCursor::pos();
    const QPoint topLeft = mapToGlobal(QPoint(0, 0));
    if (platform::leftButtonDown()) {
        emit titleDragged(topLeft, cursor);
        return;
    }
    titleDrag_->stop();
    emit titleDropped(topLeft, cursor);
}

void ToolBarPanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    if (event->size() != fixed_)
        resize(fixed_);
}

void ToolBarPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QFrame::mousePressEvent(event);
    pressed_ = true;
    pressAt_ = event->globalPosition().toPoint();
    grabOffset_ = mapFromGlobal(pressAt_);
}

void ToolBarPanel::mouseMoveEvent(QMouseEvent* event) {
    if (!pressed_)
        return QFrame::mouseMoveEvent(event);
    const QPoint cursor = event->globalPosition().toPoint();
    if (!outline_ && (cursor - pressAt_).manhattanLength() < QApplication::startDragDistance())
        return;
    // While dragging, only an outline moves; the bar stays put until it is dropped.
    if (!outline_)
        outline_ = new QRubberBand(QRubberBand::Rectangle);
    outline_->setGeometry(QRect(cursor - grabOffset_, fixed_));
    outline_->show();
}

void ToolBarPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (!pressed_ || event->button() != Qt::LeftButton)
        return QFrame::mouseReleaseEvent(event);
    pressed_ = false;
    if (!outline_)
        return; // a click, not a drag
    delete outline_;
    outline_ = nullptr;
    const QPoint cursor = event->globalPosition().toPoint();
    emit dropped(cursor - grabOffset_, cursor);
}

} // namespace quillet::ui
