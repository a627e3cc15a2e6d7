#pragma once
// Pieces the small dialogs share: the fixed frame, the note in the face colour, and the
// "設　定"/"取　消" buttons.

#include <QRect>
#include <QStringList>

class QDialog;
class QPlainTextEdit;
class QPushButton;

namespace quillet::ui::dialogs {

// A dialog of fixed client size with a dialog border, in its owner's font.
void fixDialogFrame(QDialog* dialog, QSize clientSize);
// Places the dialog in the middle of its owner's screen.
void centreOnScreen(QDialog* dialog);
// A read-only note without border in the dialog's face colour.
QPlainTextEdit* noteMemo(QDialog* dialog, const QStringList& lines);
// "設　定": the default button, closes with OK.
QPushButton* okButton(QDialog* dialog, const QRect& geometry);
// "取　消": closes with Cancel (so does Esc).
QPushButton* cancelButton(QDialog* dialog, const QRect& geometry);

} // namespace quillet::ui::dialogs
