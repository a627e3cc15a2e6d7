#include "main/ToolBar.h"

#include <QResizeEvent>

namespace quillet::ui {

ToolBarPanel::ToolBarPanel(const char* name, int width, int height, QWidget* owner)
    : QFrame(nullptr), fixed_(width, height) {
    setObjectName(QString::fromLatin1(name));
    setFrameShape(QFrame::StyledPanel);
    setFixedSize(fixed_);
    floatWindow_ = new QWidget(owner, Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    floatWindow_->setObjectName(QString::fromLatin1(name) + QStringLiteral("Window"));
    floatWindow_->setFixedSize(fixed_);
    setParent(floatWindow_);
    move(0, 0);
}

ToolBarPanel::~ToolBarPanel() = default;

void ToolBarPanel::floatAt(const QPoint& topLeft) {
    if (parentWidget() != floatWindow_) {
        setParent(floatWindow_);
        move(0, 0);
    }
    floatWindow_->setFixedSize(fixed_);
    floatWindow_->move(topLeft);
    show();
    floatWindow_->show();
}

void ToolBarPanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    if (event->size() != fixed_)
        resize(fixed_);
}

} // namespace quillet::ui
