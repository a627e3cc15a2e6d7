#include "dialogs/dialog_parts.h"

#include "dialogs/texts.h"
#include <QDialog>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

namespace quillet::ui::dialogs {

void fixDialogFrame(QDialog* dialog, QSize clientSize) {
    dialog->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    dialog->setFixedSize(clientSize);
    dialog->setModal(true);
    // A window does not inherit its owner's font by itself.
    if (QWidget* owner = dialog->parentWidget())
        dialog->setFont(owner->font());
}

void centreOnScreen(QDialog* dialog) {
    QWidget* owner = dialog->parentWidget();
    QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = dialog->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    dialog->move(frame.topLeft());
}

QPlainTextEdit* noteMemo(QDialog* dialog, const QStringList& lines) {
    auto* memo = new QPlainTextEdit(dialog);
    memo->setObjectName(QStringLiteral("Memo1"));
    memo->setReadOnly(true);
    memo->setFrameShape(QFrame::NoFrame);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->setFocusPolicy(Qt::NoFocus);
    QPalette palette = memo->palette();
    palette.setColor(QPalette::Base, dialog->palette().color(QPalette::Window));
    memo->setPalette(palette);
    memo->document()->setDocumentMargin(0);
    memo->setPlainText(lines.join(QLatin1Char('\n')));
    return memo;
}

QPushButton* okButton(QDialog* dialog, const QRect& geometry) {
    auto* button = new QPushButton(texts::ButtonOk, dialog);
    button->setObjectName(QStringLiteral("ButtonOk"));
    button->setGeometry(geometry);
    button->setDefault(true);
    QObject::connect(button, &QPushButton::clicked, dialog, &QDialog::accept);
    return button;
}

QPushButton* cancelButton(QDialog* dialog, const QRect& geometry) {
    auto* button = new QPushButton(texts::ButtonNg, dialog);
    button->setObjectName(QStringLiteral("ButtonNg"));
    button->setGeometry(geometry);
    QObject::connect(button, &QPushButton::clicked, dialog, &QDialog::reject);
    return button;
}

} // namespace quillet::ui::dialogs
