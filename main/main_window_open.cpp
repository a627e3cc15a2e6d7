// Choosing a page: "..." picks it, a new name is created from the template, a page without an
// insertion marker goes through the insertion-point dialog once.
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <cerrno>
#include <memory>
#include <optional>
#include <stdexcept>

#include "commands/new_page.h"
#include "dialogs/color_dialog.h"
#include "dialogs/insertion_point_dialog.h"
#include "document/file_io.h"
#include "document/insertion_list.h"
#include "document/page_encoding.h"
#include "document/page_open.h"
#include "document/page_rewrite.h"
#include "main/main_window_private.h"
#include "platform/codepage.h"
#include "platform/file_errors.h"

namespace quillet::ui {

using platform::Answer;
using platform::Buttons;
using platform::prompter;

namespace {
constexpr int kHtmlFilter = 2;

[[noreturn]] void fail(const QStringList& lines) {
    throw std::runtime_error(lines.join(QLatin1Char('\r')).toStdString());
}
} // namespace

void TFormQuillet::connectOpenHandlers() {
    onClick(ButtonHtml, [this] { ButtonHtmlClick(); });
}

void TFormQuillet::ButtonHtmlClick() {
    OpenDialog1.filter = texts::OpenDialogFilter;
    OpenDialog1.filterIndex = kHtmlFilter;
    OpenDialog1.defaultExt = QStringLiteral("html");
    if (OpenDialog1.initialDir.isEmpty())
        OpenDialog1.initialDir = QDir::currentPath();
    OpenDialog1.fileName.clear();
    if (!OpenDialog1.execute(this))
        return;
    EditHtml->setText(OpenDialog1.fileName);
    // Made, marked or left as it was: what the page is now in.
    const EncodingShownAfter shown{this};
    OpenDocument();
}

void TFormQuillet::OpenDocument() {
    const std::string path = pagePath();
    if (!doc::fileExists(path)) {
        createDocument(path);
        return;
    }
    const QString shownPath = EditHtml->text();
    doc::InsertionList lines;
    std::optional<platform::PageCodec> codec;
    try {
        // A page Quillet cannot write into is refused here, before any rewrite.
        codec.emplace(doc::pageEncoding(path).conversion);
        if (doc::pageHasInsertionLine(path))
            return;
        lines = doc::loadInsertionList(path);
    } catch (const doc::FileError& e) {
        fail({texts::cannotOpen(shownPath), platform::fileErrorMessage(e)});
    } catch (const doc::ListTooLargeError&) {
        prompter().confirm(this, texts::pageTooLarge(shownPath, doc::kMaxListRows), Buttons::Ok);
        return;
    }
    auto dialog = std::make_unique<TFormSetIns>(this);
    dialog->load(std::move(lines), *codec);
    if (dialog->exec() != QDialog::Accepted) {
        EditHtml->clear();
        return;
    }
    doc::SaveListOutcome outcome;
    try {
        outcome = doc::saveInsertionList(path, dialog->lines());
    } catch (const doc::FileError& e) {
        fail({texts::cannotCreate(shownPath), platform::fileErrorMessage(e), texts::PageKept});
    }
    if (outcome == doc::SaveListOutcome::PageChanged) {
        EditHtml->clear();
        prompter().confirm(this, texts::pageChangedMeanwhile(shownPath), Buttons::Ok);
    }
}

void TFormQuillet::createDocument(const std::string& path) {
    doc::resolvePage(path); // a name no rewrite would accept is refused before anything is asked
    if (prompter().confirm(this, texts::CreateNewPage, Buttons::YesNo) != Answer::Yes) {
        EditHtml->clear();
        return;
    }
    // Shift-JIS first: the pages Quillet has always made.
    const doc::NewPageCharset charsets[] = {doc::NewPageCharset::ShiftJis, doc::NewPageCharset::Utf8};
    const auto chosen =
        prompter().choose(this, texts::ChooseNewPageEncoding, {texts::ShiftJisChoice, texts::Utf8Choice}, 0);
    if (!chosen) {
        EditHtml->clear();
        return;
    }
    // Closing the colour dialog never cancels: whatever it shows then is the page's colours.
    auto dialog = std::make_unique<TFormColor>(this);
    dialog->exec();
    const doc::PageColors colors = dialog->colors();
    dialog.reset();
    commands::createPage(path, EditHtml->text(), colors, charsets[*chosen]);
}

} // namespace quillet::ui
