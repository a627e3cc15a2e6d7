#pragma once
// A tool bar of fixed size that either floats in a small tool window of its own or is docked
// into the main window. Whatever resizes it, it keeps its own width and height. The user
// drags it by its grip (or any free spot of the bar), or drags its floating window by the
// title bar; where it is dropped is the owner's call.

#include <QFrame>
#include <QPoint>

class QRubberBand;
class QTimer;

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
    // Puts the bar into the given window at the given point of it.
    void dockInto(QWidget* site, const QPoint& topLeft);

    // Shown or hidden, whether docked or floating; independent of the owner's visibility.
    bool isShownBar() const { return shown_; }
    void setShownBar(bool shown);

    QWidget* grip() const { return grip_; }

signals:
    // The user let go of the bar after dragging it: the bar's outline stood at topLeft, the
    // mouse at cursor (both on the screen).
    void dropped(const QPoint& topLeft, const QPoint& cursor);
    // The window manager moves the floating window by its title bar: the bar stands at
    // topLeft, the mouse at cursor (both on the screen), while the button is held, and when it
    // has been let go.
    void titleDragged(const QPoint& topLeft, const QPoint& cursor);
    void titleDropped(const QPoint& topLeft, const QPoint& cursor);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyShown();
    void followTitleDrag();

    QSize fixed_;
    QWidget* floatWindow_ = nullptr;
    QWidget* grip_ = nullptr;
    bool shown_ = true;
    bool pressed_ = false;
    QPoint pressAt_;    // screen point of the press
    QPoint grabOffset_; // the press inside the bar
    QRubberBand* outline_ = nullptr;
    bool placing_ = false;        // the program moves the floating window
    QTimer* titleDrag_ = nullptr; // runs while the window manager drags the window
};

} // namespace quillet::ui
