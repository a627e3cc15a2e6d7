#pragma once
// The insertion-point dialog: the page's lines in a list; a double-click puts the marker line
// after a line, or takes a marker line out again. Its close box is its only way out: closing
// keeps the list (OK) when some line begins with the marker, and drops it (Cancel) otherwise.

#include <QAbstractItemView>
#include <QAbstractListModel>
#include <QCache>
#include <QDialog>

#include "document/insertion_list.h"
#include "platform/codepage.h"

class QLabel;
class QSplitter;

namespace quillet::ui {

namespace dialogs {
// The list's rows for the view, decoded only when they are shown. Bytes the codec cannot read
// are shown as a stand-in character but stay in the list as they were.
class InsertionListModel : public QAbstractListModel {
    Q_OBJECT
public:
    // A row shows at most this many of its bytes.
    static constexpr std::size_t kShownBytes = 4096;

    explicit InsertionListModel(QObject* parent);
    // The list, shown in the page's encoding.
    void setList(doc::InsertionList list, platform::PageCodec codec = platform::cp932());
    const doc::InsertionList& list() const { return list_; }
    // A double-click on the row, told to the views as it changes the rows.
    doc::Toggled toggle(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    doc::InsertionList list_;
    platform::PageCodec codec_;
    mutable QCache<int, QString> shown_; // a paint asks for each row more than once
};

// A list of rows of one height that costs nothing per row: where a row is follows from its
// number, so pages of millions of lines scroll at once. It reports every double-click, also one
// below the last row, and Enter.
class LineListView : public QAbstractItemView {
    Q_OBJECT
public:
    explicit LineListView(QWidget* parent);

    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint& point) const override;
    void setModel(QAbstractItemModel* model) override;
    // Typing a line's start does not search: that would read the whole page.
    void keyboardSearch(const QString&) override {}

signals:
    void anyDoubleClick();

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex&) const override { return false; }
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags flags) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void paintEvent(QPaintEvent* event) override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int rowCount() const;
    int rowHeight() const;
    int topRow() const;
    int rowsInView() const; // wholly or partly
    void rowsChanged();
    mutable int rowHeight_ = 0;
    int contentWidth_ = 0;
};
} // namespace dialogs

class TFormSetIns : public QDialog {
    Q_OBJECT
public:
    explicit TFormSetIns(QWidget* owner);
    ~TFormSetIns() override;

    // Shows the page's lines, decoded with `codec` for showing only.
    void load(doc::InsertionList lines, const platform::PageCodec& codec = platform::cp932());
    const doc::InsertionList& lines() const { return model_->list(); }

    void ListBox1DblClick();

    QSplitter* Splitter1 = nullptr;
    QLabel* Memo1 = nullptr;
    dialogs::LineListView* ListBox1 = nullptr;

public slots:
    // However the dialog ends (close box, Esc), the result depends on the list alone.
    void done(int result) override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    dialogs::InsertionListModel* model_ = nullptr;
};

} // namespace quillet::ui
