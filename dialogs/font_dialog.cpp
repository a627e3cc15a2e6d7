#include "dialogs/font_dialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

#include "dialogs/dialog_parts.h"
#include "dialogs/texts.h"
#include "platform/prompter.h"

namespace quillet::ui {

namespace {
// The colour chooser's order holds red in the low byte.
QColor toQColor(std::uint32_t chooser) {
    return QColor(int(chooser & 0xFF), int((chooser >> 8) & 0xFF), int((chooser >> 16) & 0xFF));
}
std::uint32_t fromQColor(const QColor& c) {
    return std::uint32_t(c.red()) | std::uint32_t(c.green()) << 8 | std::uint32_t(c.blue()) << 16;
}
} // namespace

TFormFont::TFormFont(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("FormFont"));
    setWindowTitle(dialogs::texts::font::FormFont);
    dialogs::fixDialogFrame(this, QSize(185, 218));
    move(266, 274);

    CheckBoxBold = new QCheckBox(dialogs::texts::font::CheckBoxBold, this);
    CheckBoxBold->setObjectName(QStringLiteral("CheckBoxBold"));
    CheckBoxBold->setGeometry(12, 10, 60, 17);
    CheckBoxItalic = new QCheckBox(dialogs::texts::font::CheckBoxItalic, this);
    CheckBoxItalic->setObjectName(QStringLiteral("CheckBoxItalic"));
    CheckBoxItalic->setGeometry(76, 10, 60, 17);
    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setText(dialogs::texts::font::SpeedButton1);
    SpeedButton1->setGeometry(140, 7, 33, 22);

    Label1 = new QLabel(dialogs::texts::font::Label1, this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(12, 42, 40, 12);
    EditSize = new QLineEdit(this);
    EditSize->setObjectName(QStringLiteral("EditSize"));
    EditSize->setGeometry(56, 38, 57, 20);

    Memo1 = dialogs::noteMemo(this, dialogs::texts::font::Memo1);
    Memo1->setGeometry(12, 68, 161, 102);

    ButtonOk = dialogs::okButton(this, QRect(12, 182, 75, 25));
    ButtonNg = dialogs::cancelButton(this, QRect(98, 182, 75, 25));

    connect(SpeedButton1, &QToolButton::clicked, this,
            [this] { platform::runCommand(this, [this] { SpeedButton1Click(); }); });
    connect(EditSize, &QLineEdit::editingFinished, this, &TFormFont::EditSizeExit);
}

TFormFont::~TFormFont() = default;

markup::FontChoice TFormFont::choice() const {
    return {CheckBoxBold->isChecked(), CheckBoxItalic->isChecked(), color_, EditSize->text().toStdString()};
}

void TFormFont::setChoice(const markup::FontChoice& choice) {
    CheckBoxBold->setChecked(choice.bold);
    CheckBoxItalic->setChecked(choice.italic);
    color_ = choice.chooserColor & 0xFFFFFF;
    EditSize->setText(QString::fromStdString(choice.size));
}

void TFormFont::SpeedButton1Click() {
    if (const auto chosen = platform::prompter().chooseColor(this, toQColor(color_)))
        color_ = fromQColor(*chosen); // black gives 0: no colour
}

void TFormFont::EditSizeExit() {
    if (!markup::isSizeToken(EditSize->text().toStdString()))
        EditSize->clear();
}

void TFormFont::accept() {
    EditSizeExit();
    QDialog::accept();
}

} // namespace quillet::ui
