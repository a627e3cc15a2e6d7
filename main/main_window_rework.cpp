// Reworking the newest entry: Delete-last, Edit-last and Undo.
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "commands/entry_text.h"
#include "document/entry_rework.h"
#include "document/file_io.h"
#include "main/main_window_private.h"
#include "platform/codepage.h"

namespace quillet::ui {

using platform::Answer;
using platform::Buttons;
using platform::prompter;

void TFormQuillet::connectReworkHandlers() {
    onClick(SpeedButtonDEL, [this] { SpeedButtonDELClick(); });
    onClick(SpeedButtonMOD, [this] { SpeedButtonMODClick(); });
    onClick(SpeedButtonCANCEL, [this] { SpeedButtonCANCELClick(); });
}

void TFormQuillet::SpeedButtonDELClick() {
    if (doc::deleteNewestEntry(pagePath()) == doc::ReworkOutcome::NoEntryEnd)
        prompter().confirm(this, texts::NoEntryEnd, Buttons::Ok);
}

void TFormQuillet::SpeedButtonCANCELClick() {
    // The backup that comes back may be in another encoding.
    const EncodingShownAfter shown{this};
    doc::undoLastRewrite(pagePath());
}

void TFormQuillet::setTitleMarkChecked(bool on) {
    // A change of the box runs its click handler, as the author's click would.
    if (CheckBoxTitleMark->isChecked() == on)
        return;
    CheckBoxTitleMark->setChecked(on);
    CheckBoxTitleMarkClick();
}

bool TFormQuillet::authorTyped() const {
    const QString title = EditTitle->text();
    const QString body = Memo1->toPlainText();
    return (!title.isEmpty() && title != untypedTitle_) || (!body.isEmpty() && body != untypedBody_);
}

void TFormQuillet::editorNowUntyped() {
    untypedTitle_ = EditTitle->text();
    untypedBody_ = Memo1->toPlainText();
}

void TFormQuillet::SpeedButtonMODClick() {
    const std::string path = pagePath();
    if (!doc::fileExists(path)) {
        prompter().confirm(this, texts::pageNotFound(EditHtml->text()), Buttons::Ok);
        return;
    }
    // Asked before the page is opened: no rewrite waits on the author.
    if (authorTyped() && prompter().confirm(this, texts::ReplaceTypedText, Buttons::OkCancel) != Answer::Ok)
        return;

    // Set whatever happens: from here on the newest entry may exist only in the editor. Not when
    // the page was refused before it was touched: then the entry is still only in the page.
    struct MarkRecalled {
        bool* flag;
        ~MarkRecalled() {
            if (flag)
                *flag = true;
        }
    } markRecalled{&EntryRecalled};

    // The entry is decoded while the page is locked, so that one the editor cannot hold stays
    // in the page; everything that may ask the author comes after the rewrite.
    std::optional<commands::RecalledText> text;
    doc::TakenEntry taken;
    try {
        taken = doc::takeNewestEntry(
            path, [&](const doc::RecalledEntry& entry, const doc::PageEncoding& encoding) {
                text = commands::recalledText(entry, platform::PageCodec(encoding.conversion));
                return text.has_value();
            });
    } catch (const doc::EncodingRefusedError&) {
        markRecalled.flag = nullptr;
        throw;
    }
    if (taken.outcome == doc::ReworkOutcome::Refused) {
        markRecalled.flag = nullptr;
        prompter().confirm(
            this, texts::notInEncoding(EditHtml->text(), QString::fromStdString(taken.encoding.name)),
            Buttons::Ok);
        return; // page, backup and editor as they were
    }
    if (taken.outcome == doc::ReworkOutcome::PageMissing) {
        markRecalled.flag = nullptr; // it went away meanwhile: nothing was taken
        return;
    }

    const doc::RecalledEntry& entry = taken.entry;
    EditTitle->clear();
    CheckBoxIndent->setChecked(false);
    TitleBold = false;
    TitleItalic = false;
    Memo1->setPlainText(text->body);
    editorNowUntyped();
    if (entry.indent)
        CheckBoxIndent->setChecked(true);
    if (!entry.titleRecord.empty()) {
        const doc::DecodedTitle& t = text->title;
        TitleBold = t.bold;
        TitleItalic = t.italic;
        if (text->markTag)
            TitleMarkTag = *text->markTag;
        setTitleMarkChecked(t.markOn);
        if (t.color)
            TitleColor = *t.color;
        if (t.size)
            TitleSize = *t.size;
    }
    if (taken.outcome == doc::ReworkOutcome::NoEntryEnd) {
        prompter().confirm(this, texts::NoEntryEnd, Buttons::Ok);
        return;
    }
    EditTitle->setText(text->titleText);
    editorNowUntyped();
}

} // namespace quillet::ui
