#include "dialogs/insertion_point_dialog.h"

#include <QKeyEvent>
#include <QLabel>
#include <QSplitter>
#include <QVBoxLayout>
#include <algorithm>

#include "dialogs/dialog_parts.h"
#include "document/markers.h"
#include "platform/codepage.h"
#include "platform/prompter.h"

namespace quillet::ui {

namespace dialogs {
void DoubleClickList::mouseDoubleClickEvent(QMouseEvent* event) {
    QListWidget::mouseDoubleClickEvent(event);
    emit anyDoubleClick();
}

void DoubleClickList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit anyDoubleClick();
        return;
    }
    QListWidget::keyPressEvent(event);
}
} // namespace dialogs

namespace {
constexpr int kUpperHeight = 77;
constexpr int kMargin = 8;
} // namespace

TFormSetIns::TFormSetIns(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("FormSetIns"));
    setWindowTitle(QStringLiteral("書き込み開始位置の設定"));
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
    Memo1 = new QLabel(
        QStringList(
            {
                QStringLiteral("書き込み開始位置に『<!-INS-!>』を書き込みます。"),
                QString(),
                QStringLiteral("1書き込み開始位置でダブルクリックをするとその次の行に書き込まれます。"),
                QStringLiteral("2.『<!-INS-!>』の行をダブルクリックするとその行は削除されます。"),
                QStringLiteral("3.開始位置に問題がなければ右上の『×』をおして閉じてください。"),
            })
            .join(QLatin1Char('\n')),
        upper);
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
    ListBox1 = new dialogs::DoubleClickList(Splitter1);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setUniformItemSizes(true);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    Splitter1->addWidget(upper);
    Splitter1->addWidget(ListBox1);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({upperHeight, height() - upperHeight});
    connect(ListBox1, &dialogs::DoubleClickList::anyDoubleClick, this,
            [this] { platform::runCommand(this, [this] { ListBox1DblClick(); }); });
    dialogs::centreOnScreen(this);
}

TFormSetIns::~TFormSetIns() = default;

void TFormSetIns::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    Splitter1->setGeometry(rect());
}

void TFormSetIns::load(doc::InsertionList lines) {
    QStringList shown;
    shown.reserve(static_cast<qsizetype>(lines.size()));
    for (const auto& item : lines.items())
        shown << platform::cp932().decodeForDisplay(item);
    lines_ = std::move(lines);
    ListBox1->clear();
    ListBox1->addItems(shown);
}

void TFormSetIns::ListBox1DblClick() {
    const QList<QListWidgetItem*> selected = ListBox1->selectedItems();
    if (selected.isEmpty())
        return;
    const int row = ListBox1->row(selected.first());
    if (lines_.toggle(static_cast<std::size_t>(row))) {
        delete ListBox1->takeItem(row);
        ListBox1->clearSelection();
    } else {
        ListBox1->insertItem(row + 1,
                             QString::fromLatin1(doc::kInsMarker.data(), qsizetype(doc::kInsMarker.size())));
    }
}

void TFormSetIns::done(int) { QDialog::done(lines_.hasMarker() ? QDialog::Accepted : QDialog::Rejected); }

} // namespace quillet::ui
