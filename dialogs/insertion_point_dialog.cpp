#include "dialogs/insertion_point_dialog.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <QSplitter>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cstdlib>

#include "dialogs/dialog_parts.h"
#include "dialogs/texts.h"
#include "document/file_io.h"
#include "document/markers.h"
#include "platform/codepage.h"
#include "platform/prompter.h"

namespace quillet::ui {

namespace dialogs {

InsertionListModel::InsertionListModel(QObject* parent)
    : QAbstractListModel(parent), codec_(platform::cp932()), shown_(512) {}

void InsertionListModel::setList(doc::InsertionList list, platform::PageCodec codec) {
    beginResetModel();
    list_ = std::move(list);
    codec_ = std::move(codec);
    shown_.clear();
    endResetModel();
}

doc::Toggled InsertionListModel::toggle(int row) {
    const auto at = static_cast<std::size_t>(row);
    const doc::Toggled effect = list_.effectOfToggle(at);
    if (effect == doc::Toggled::Removed)
        beginRemoveRows({}, row, row);
    else if (effect == doc::Toggled::Inserted)
        beginInsertRows({}, row + 1, row + 1);
    else
        return effect;
    list_.toggle(at);
    shown_.clear();
    if (effect == doc::Toggled::Removed)
        endRemoveRows();
    else
        endInsertRows();
    return effect;
}

int InsertionListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(list_.size()); // the list holds no more
}

QVariant InsertionListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return {};
    if (const QString* text = shown_.object(index.row()))
        return *text;
    QString text;
    try {
        const doc::InsertionList::RowBytes row =
            list_.row(static_cast<std::size_t>(index.row()), kShownBytes);
        text = codec_.decodeForDisplay(row.bytes);
        if (row.cut) {
            if (text.endsWith(QChar::ReplacementCharacter)) // a character cut in two
                text.chop(1);
            text += QChar(0x2026);
        }
    } catch (const doc::FileError&) {
        // The page went away meanwhile: the row shows nothing, and saving leaves the page alone.
    }
    shown_.insert(index.row(), new QString(text));
    return text;
}

LineListView::LineListView(QWidget* parent) : QAbstractItemView(parent) {
    setSelectionMode(SingleSelection);
    setEditTriggers(NoEditTriggers);
}

void LineListView::setModel(QAbstractItemModel* model) {
    QAbstractItemView::setModel(model);
    rowHeight_ = 0;
    contentWidth_ = 0;
    if (!model)
        return;
    connect(model, &QAbstractItemModel::rowsRemoved, this, &LineListView::rowsChanged);
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        rowHeight_ = 0;
        contentWidth_ = 0;
        rowsChanged();
    });
    rowsChanged();
}

int LineListView::rowCount() const { return model() ? model()->rowCount(rootIndex()) : 0; }

int LineListView::rowHeight() const {
    if (rowHeight_ > 0)
        return rowHeight_;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QModelIndex first = rowCount() > 0 ? model()->index(0, 0, rootIndex()) : QModelIndex();
    const int height = first.isValid() ? itemDelegate()->sizeHint(option, first).height() : 0;
    rowHeight_ = std::max({height, fontMetrics().height(), 1});
    return rowHeight_;
}

int LineListView::topRow() const { return verticalScrollBar()->value(); }

int LineListView::rowsInView() const { return viewport()->height() / rowHeight() + 1; }

void LineListView::rowsChanged() {
    updateGeometries();
    viewport()->update();
}

void LineListView::rowsInserted(const QModelIndex& parent, int start, int end) {
    QAbstractItemView::rowsInserted(parent, start, end);
    rowsChanged();
}

QRect LineListView::visualRect(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != model())
        return {};
    const long long y = static_cast<long long>(index.row() - topRow()) * rowHeight();
    if (std::abs(y) > (1 << 24)) // far out of view
        return {};
    return {-horizontalOffset(), static_cast<int>(y), std::max(contentWidth_, viewport()->width()),
            rowHeight()};
}

QModelIndex LineListView::indexAt(const QPoint& point) const {
    if (point.y() < 0 || !model())
        return {};
    const long long row = static_cast<long long>(topRow()) + point.y() / rowHeight();
    return row < rowCount() ? model()->index(static_cast<int>(row), 0, rootIndex()) : QModelIndex();
}

void LineListView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (!index.isValid())
        return;
    const int row = index.row(), top = topRow();
    const int whole = std::max(1, viewport()->height() / rowHeight());
    switch (hint) {
    case EnsureVisible:
        if (row < top)
            verticalScrollBar()->setValue(row);
        else if (row >= top + whole)
            verticalScrollBar()->setValue(row - whole + 1);
        break;
    case PositionAtTop:
        verticalScrollBar()->setValue(row);
        break;
    case PositionAtBottom:
        verticalScrollBar()->setValue(row - whole + 1);
        break;
    case PositionAtCenter:
        verticalScrollBar()->setValue(row - whole / 2);
        break;
    }
}

QModelIndex LineListView::moveCursor(CursorAction action, Qt::KeyboardModifiers) {
    const int rows = rowCount();
    if (rows == 0)
        return {};
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return model()->index(0, 0, rootIndex());
    const long long whole = std::max(1, viewport()->height() / rowHeight());
    long long row = current.row();
    switch (action) {
    case MoveUp:
    case MovePrevious:
        --row;
        break;
    case MoveDown:
    case MoveNext:
        ++row;
        break;
    case MovePageUp:
        row -= whole;
        break;
    case MovePageDown:
        row += whole;
        break;
    case MoveHome:
        row = 0;
        break;
    case MoveEnd:
        row = rows - 1;
        break;
    case MoveLeft:
    case MoveRight:
        break;
    }
    return model()->index(static_cast<int>(std::clamp<long long>(row, 0, rows - 1)), 0, rootIndex());
}

int LineListView::horizontalOffset() const { return horizontalScrollBar()->value(); }

int LineListView::verticalOffset() const {
    return static_cast<int>(std::min<long long>(static_cast<long long>(topRow()) * rowHeight(), INT_MAX));
}

void LineListView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags flags) {
    const int rows = rowCount();
    const QRect r = rect.normalized();
    const auto rowOf = [this](int y) {
        return static_cast<long long>(topRow()) + (y < 0 ? (y + 1) / rowHeight() - 1 : y / rowHeight());
    };
    const long long first = rowOf(r.top()), last = rowOf(r.bottom());
    if (rows == 0 || last < 0 || first >= rows) {
        selectionModel()->select(QItemSelection(), flags);
        return;
    }
    const auto at = [this, rows](long long row) {
        return model()->index(static_cast<int>(std::clamp<long long>(row, 0, rows - 1)), 0, rootIndex());
    };
    selectionModel()->select(QItemSelection(at(first), at(last)), flags);
}

QRegion LineListView::visualRegionForSelection(const QItemSelection& selection) const {
    QRegion region;
    const int top = topRow(), bottom = top + rowsInView();
    for (const QItemSelectionRange& range : selection) {
        for (int row = std::max(range.top(), top); row <= std::min(range.bottom(), bottom); ++row)
            region += visualRect(model()->index(row, 0, rootIndex()));
    }
    return region;
}

void LineListView::updateGeometries() {
    const int whole = std::max(1, viewport()->height() / rowHeight());
    verticalScrollBar()->setRange(0, std::max(0, rowCount() - whole));
    verticalScrollBar()->setPageStep(whole);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setRange(0, std::max(0, contentWidth_ - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(rowHeight());
    QAbstractItemView::updateGeometries();
}

void LineListView::scrollContentsBy(int, int) {
    // The vertical bar counts rows, not pixels: everything in view moves.
    viewport()->update();
}

void LineListView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QStyle::State state = option.state;
    const QModelIndex current = currentIndex();
    const int top = topRow(), last = std::min(rowCount() - 1, top + rowsInView());
    int widest = contentWidth_;
    for (int row = top; row <= last; ++row) {
        const QModelIndex index = model()->index(row, 0, rootIndex());
        option.rect = visualRect(index);
        option.state = state;
        if (selectionModel()->isSelected(index))
            option.state |= QStyle::State_Selected;
        if (index == current && hasFocus())
            option.state |= QStyle::State_HasFocus;
        itemDelegate()->paint(&painter, option, index);
        widest = std::max(widest, itemDelegate()->sizeHint(option, index).width());
    }
    if (widest > contentWidth_) { // a wider row came into view: the bar grows after this paint
        contentWidth_ = widest;
        QMetaObject::invokeMethod(
            this, [this] { updateGeometries(); }, Qt::QueuedConnection);
    }
}

void LineListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QAbstractItemView::mouseDoubleClickEvent(event);
    emit anyDoubleClick();
}

void LineListView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit anyDoubleClick();
        return;
    }
    QAbstractItemView::keyPressEvent(event);
}
} // namespace dialogs

namespace {
constexpr int kUpperHeight = 77;
constexpr int kMargin = 8;
} // namespace

TFormSetIns::TFormSetIns(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("FormSetIns"));
    setWindowTitle(dialogs::texts::insertion::FormSetIns);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::CustomizeWindowHint);
    setModal(true);
    if (owner)
        setFont(owner->font());
    resize(429, 367);

    Splitter1 = new QSplitter(Qt::Vertical, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    auto* upper = new QWidget(Splitter1);
    // A wrapping label: the instructions were laid out for a narrower font, and every line of
    // them must stay readable at the dialog's width.
    Memo1 = new QLabel(dialogs::texts::insertion::Memo1.join(QLatin1Char('\n')), upper);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setTextFormat(Qt::PlainText);
    Memo1->setWordWrap(true);
    Memo1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* upperLayout = new QVBoxLayout(upper);
    upperLayout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    upperLayout->addWidget(Memo1);
    const int upperHeight =
        std::max(kUpperHeight, Memo1->heightForWidth(width() - 2 * kMargin) + 2 * kMargin);
    upper->setMinimumHeight(upperHeight / 2);
    model_ = new dialogs::InsertionListModel(this);
    ListBox1 = new dialogs::LineListView(Splitter1);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setModel(model_);
    Splitter1->addWidget(upper);
    Splitter1->addWidget(ListBox1);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({upperHeight, height() - upperHeight});
    connect(ListBox1, &dialogs::LineListView::anyDoubleClick, this,
            [this] { platform::runCommand(this, [this] { ListBox1DblClick(); }); });
    dialogs::centreOnScreen(this);
}

TFormSetIns::~TFormSetIns() = default;

void TFormSetIns::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    Splitter1->setGeometry(rect());
}

void TFormSetIns::load(doc::InsertionList lines, const platform::PageCodec& codec) {
    model_->setList(std::move(lines), codec);
}

void TFormSetIns::ListBox1DblClick() {
    const QModelIndexList selected = ListBox1->selectionModel()->selectedIndexes();
    if (selected.isEmpty())
        return;
    if (model_->toggle(selected.first().row()) == doc::Toggled::Removed)
        ListBox1->clearSelection();
}

void TFormSetIns::done(int) {
    QDialog::done(model_->list().hasMarker() ? QDialog::Accepted : QDialog::Rejected);
}

} // namespace quillet::ui
