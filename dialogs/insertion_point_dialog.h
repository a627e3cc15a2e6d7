#pragma once
// The insertion-point dialog: the page's lines in a list; a double-click puts the marker line
// after a line, or takes a marker line out again. Its close box is its only way out: closing
// keeps the list (OK) when some line begins with the marker, and drops it (Cancel) otherwise.

#include <QDialog>
#include <QListWidget>

#include "document/page_open.h"

class QLabel;
class QSplitter;

namespace quillet::ui {

namespace dialogs {
// A list that reports every double-click, also one below the last item, and Enter.
class DoubleClickList : public QListWidget {
    Q_OBJECT
public:
    using QListWidget::QListWidget;
signals:
    void anyDoubleClick();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
} // namespace dialogs

class TFormSetIns : public QDialog {
    Q_OBJECT
public:
    explicit TFormSetIns(QWidget* owner);
    ~TFormSetIns() override;

    // Shows the page's lines; bytes that are not CP932 are shown as a stand-in character but
    // stay in the list as they were.
    void load(doc::InsertionList lines);
    const doc::InsertionList& lines() const { return lines_; }

    void ListBox1DblClick();

    QSplitter* Splitter1 = nullptr;
    QLabel* Memo1 = nullptr;
    dialogs::DoubleClickList* ListBox1 = nullptr;

public slots:
    // However the dialog ends (close box, Esc), the result depends on the list alone.
    void done(int result) override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    doc::InsertionList lines_;
};

} // namespace quillet::ui
