#pragma once
// A tool bar of fixed size that floats in a small tool window of its own (and can later be
// docked into the main window). Whatever resizes it, it keeps its own width and height.

#include <QFrame>

namespace quillet::ui {

class ToolBarPanel : public QFrame {
    Q_OBJECT
public:
    ToolBarPanel(const char* name, int width, int height, QWidget* owner);
    ~ToolBarPanel() override;

    bool isFloating() const { return floatWindow_ != nullptr && parentWidget() == floatWindow_; }
    QWidget* floatWindow() const { return floatWindow_; }
    // Puts the bar into its tool window, the window's frame at the given screen point.
    void floatAt(const QPoint& topLeft);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QSize fixed_;
    QWidget* floatWindow_ = nullptr;
};

} // namespace quillet::ui
