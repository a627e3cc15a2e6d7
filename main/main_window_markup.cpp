// The markup bar and the title style.
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <memory>

#include "dialogs/font_dialog.h"
#include "dialogs/list_dialog.h"
#include "main/main_window_private.h"
#include "markup/markup.h"

namespace quillet::ui {

namespace {
constexpr int kImageFilter = 3;

// The editor separates lines with U+2029 in a selection; page text has CR LF.
QString pageText(QString selection) {
    return selection.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
}

// Puts R on the clipboard and in place of the cursor's selection, as one undo step with
// whatever the caller already changed inside the same edit block.
void putAndPaste(QPlainTextEdit* editor, QTextCursor& cursor, const QString& r) {
    QGuiApplication::clipboard()->setText(r);
    cursor.insertText(r); // CR LF becomes one line break
    editor->setTextCursor(cursor);
}

// The selection wrap: empty the clipboard, cut the selection to it, compose, put, paste.
// What is composed and pasted is the editor's own text, not what the clipboard hands back,
// so a clipboard that fails or is changed meanwhile by another program loses nothing.
void wrapSelection(QPlainTextEdit* editor, const markup::Wrap& wrap) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    QTextCursor cursor = editor->textCursor();
    cursor.beginEditBlock();
    clipboard->clear();
    QString s;
    if (cursor.hasSelection()) {
        s = pageText(cursor.selectedText());
        clipboard->setText(s);
        cursor.removeSelectedText();
    }
    putAndPaste(editor, cursor, QString::fromLatin1(wrap.before) + s + QString::fromLatin1(wrap.after));
    cursor.endEditBlock();
}

void insertText(QPlainTextEdit* editor, const std::string& text) {
    QTextCursor cursor = editor->textCursor();
    cursor.beginEditBlock();
    putAndPaste(editor, cursor, QString::fromLatin1(text));
    cursor.endEditBlock();
}

// The bar may float in a tool window of its own; the input goes back to the editor's window.
void refocus(QPlainTextEdit* editor) {
    editor->window()->activateWindow();
    editor->setFocus(Qt::OtherFocusReason);
}
} // namespace

void TFormQuillet::connectMarkupHandlers() {
    for (QToolButton* button :
         {SpeedButtonBold, SpeedButtonItalic, SpeedButtonUnder, SpeedButtonLine, SpeedButtonPhrase,
          SpeedButtonPRE, SpeedButtonTT, SpeedButtonBR, SpeedButtonBig, SpeedButtonSmall})
        onClick(button, [this, button] { SpeedButtonStyleClick(button); });
    onClick(SpeedButtonList, [this] { SpeedButtonListClick(); });
    onClick(SpeedButtonFont, [this] { SpeedButtonFontClick(); });
    onClick(SpeedButtonTtlFont, [this] { SpeedButtonTtlFontClick(); });
    // Only the author's click: a change made by the program calls the handler itself.
    connect(CheckBoxTitleMark, &QCheckBox::clicked, this,
            [this] { platform::runCommand(this, [this] { CheckBoxTitleMarkClick(); }); });
}

void TFormQuillet::SpeedButtonStyleClick(QObject* sender) {
    using markup::Style;
    const std::pair<QObject*, Style> styles[] = {
        {SpeedButtonBold, Style::Bold},     {SpeedButtonItalic, Style::Italic},
        {SpeedButtonUnder, Style::Under},   {SpeedButtonLine, Style::Line},
        {SpeedButtonPhrase, Style::Phrase}, {SpeedButtonPRE, Style::Pre},
        {SpeedButtonTT, Style::TT},         {SpeedButtonBR, Style::BR},
        {SpeedButtonBig, Style::Big},       {SpeedButtonSmall, Style::Small},
    };
    for (const auto& [button, style] : styles) {
        if (button == sender) {
            wrapSelection(Memo1, markup::styleWrap(style));
            refocus(Memo1);
            return;
        }
    }
}

void TFormQuillet::SpeedButtonListClick() {
    auto dialog = std::make_unique<TFormList>(this);
    if (dialog->exec() == QDialog::Accepted)
        insertText(Memo1, markup::listSkeleton(dialog->ItemIndex(), dialog->startNumber()));
    dialog.reset();
    refocus(Memo1);
}

void TFormQuillet::SpeedButtonFontClick() {
    auto dialog = std::make_unique<TFormFont>(this);
    if (dialog->exec() == QDialog::Accepted)
        wrapSelection(Memo1, markup::fontWrap(dialog->choice()));
    dialog.reset();
    refocus(Memo1);
}

void TFormQuillet::SpeedButtonTtlFontClick() {
    auto dialog = std::make_unique<TFormFont>(this);
    // The title colour is held red first; the dialog holds the chooser's order. A colour below 1
    // is none (a recalled page may hold any number), and must not come back from OK as white.
    const std::uint32_t color = TitleColor >= 1 ? static_cast<std::uint32_t>(TitleColor) : 0;
    dialog->setChoice({TitleBold, TitleItalic, doc::ColorToHtml(color), TitleSize});
    if (dialog->exec() != QDialog::Accepted)
        return;
    const markup::FontChoice choice = dialog->choice();
    TitleBold = choice.bold;
    TitleItalic = choice.italic;
    TitleColor = static_cast<qint32>(doc::ColorToHtml(choice.chooserColor));
    TitleSize = choice.size;
}

void TFormQuillet::CheckBoxTitleMarkClick() {
    if (!CheckBoxTitleMark->isChecked())
        return; // the tag stays; Save ignores it while the box is clear
    OpenDialog1.filter = texts::OpenDialogFilter;
    OpenDialog1.filterIndex = kImageFilter;
    OpenDialog1.defaultExt.clear();
    OpenDialog1.fileName.clear();
    if (OpenDialog1.initialDir.isEmpty())
        OpenDialog1.initialDir = QDir::currentPath();
    if (OpenDialog1.execute(this)) {
        // Kept as text: Save writes it in the encoding of the page it goes into.
        const QByteArray path = OpenDialog1.fileName.toUtf8();
        TitleMarkTag = QString::fromStdString(markup::titleMarkTag(path.toStdString()));
        return;
    }
    CheckBoxTitleMark->setChecked(false);
    CheckBoxTitleMarkClick(); // as for any change of the box; with the box clear it does nothing
}

} // namespace quillet::ui
