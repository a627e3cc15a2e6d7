#include "dialogs/list_dialog.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "dialogs/dialog_parts.h"
#include "dialogs/texts.h"
#include "markup/markup.h"

namespace quillet::ui {

namespace {
constexpr int kColumns = 2;
} // namespace

TFormList::TFormList(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("FormList"));
    setWindowTitle(dialogs::texts::list::FormList);
    dialogs::fixDialogFrame(this, QSize(427, 281));

    Memo1 = dialogs::noteMemo(this, dialogs::texts::list::Memo1);
    Memo1->setGeometry(8, 6, 411, 110);

    RadioGroupType = new QGroupBox(dialogs::texts::list::RadioGroupType, this);
    RadioGroupType->setObjectName(QStringLiteral("RadioGroupType"));
    RadioGroupType->setGeometry(8, 118, 411, 102);
    RadioGroupTypeButtons = new QButtonGroup(this);
    auto* grid = new QGridLayout(RadioGroupType);
    grid->setContentsMargins(8, 4, 8, 4);
    grid->setSpacing(0);
    // Choices fill the first column, then the second.
    const int rows = (markup::kListTypeCount + kColumns - 1) / kColumns;
    for (int i = 0; i < markup::kListTypeCount; ++i) {
        auto* radio = new QRadioButton(dialogs::texts::list::RadioGroupTypeItems.value(i), RadioGroupType);
        radio->setObjectName(QStringLiteral("RadioGroupTypeItem%1").arg(i));
        RadioGroupTypeButtons->addButton(radio, i);
        grid->addWidget(radio, i % rows, i / rows);
    }

    GroupBoxStart = new QGroupBox(dialogs::texts::list::GroupBoxStart, this);
    GroupBoxStart->setObjectName(QStringLiteral("GroupBoxStart"));
    GroupBoxStart->setGeometry(8, 226, 137, 47);
    EditStart = new QLineEdit(GroupBoxStart);
    EditStart->setObjectName(QStringLiteral("EditStart"));
    EditStart->setFixedHeight(20);
    // Inside the frame the style draws below the box's title, whatever the font's height.
    auto* inside = new QVBoxLayout(GroupBoxStart);
    inside->setContentsMargins(7, 0, 7, 0);
    inside->addWidget(EditStart);

    ButtonOk = dialogs::okButton(this, QRect(256, 244, 75, 25));
    ButtonNg = dialogs::cancelButton(this, QRect(344, 244, 75, 25));

    setItemIndex(0);
    RadioGroupTypeClick();
    connect(RadioGroupTypeButtons, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            RadioGroupTypeClick();
    });
    connect(EditStart, &QLineEdit::editingFinished, this, &TFormList::EditStartExit);
}

TFormList::~TFormList() = default;

int TFormList::ItemIndex() const { return RadioGroupTypeButtons->checkedId(); }

void TFormList::setItemIndex(int index) { RadioGroupTypeButtons->button(index)->setChecked(true); }

std::optional<std::int32_t> TFormList::startNumber() const {
    return markup::parseStartNumber(EditStart->text().toStdString());
}

void TFormList::RadioGroupTypeClick() {
    const bool numbered = markup::listTakesStartNumber(ItemIndex());
    GroupBoxStart->setEnabled(numbered);
    QPalette palette = EditStart->palette();
    palette.setColor(QPalette::Base, this->palette().color(numbered ? QPalette::Base : QPalette::Window));
    EditStart->setPalette(palette);
    // A bulleted list takes no start number: what was typed is thrown away.
    if (!numbered)
        EditStart->clear();
}

void TFormList::EditStartExit() {
    EditStart->setText(QString::fromStdString(markup::normalizeStartNumber(EditStart->text().toStdString())));
}

void TFormList::accept() {
    EditStartExit();
    QDialog::accept();
}

} // namespace quillet::ui
