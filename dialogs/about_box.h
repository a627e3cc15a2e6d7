#pragma once
// The about box: the program's picture twice, small and large, and three text lines on blue,
// in a frame of its own: a border and a caption without buttons. A click anywhere on it
// closes it.

#include <QDialog>

#include "dialogs/texts.h"

class QIcon;
class QLabel;

namespace quillet::ui {

class TFormTallow : public QDialog {
    Q_OBJECT
public:
    // The icon is the program's picture: 32 x 32 in the left frame, 64 x 64 in the right.
    TFormTallow(QWidget* owner, const QIcon& icon);
    ~TFormTallow() override;

    void FormClick();

    QLabel* Caption = nullptr; // the maker's name, in the box's own title bar
    QWidget* Client = nullptr; // the blue client area, 341 x 86
    QLabel* Image1 = nullptr;  // the program's picture, small
    QLabel* Image2 = nullptr;  // the program's picture, large
    QLabel* Label1 = nullptr;  // the first text line, set by the caller
    QLabel* Label2 = nullptr;  // the web address
    QLabel* Label3 = nullptr;  // the e-mail address

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

} // namespace quillet::ui
