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

namespace texts {
const QString CreateNewPage = QStringLiteral("この名前で新規に作成しますか？");
const QString ChooseNewPageEncoding = QStringLiteral("新しい文書の文字コードを選んでください。\r"
                                                     "Shift-JIS: これまでの Quillet の文書と同じです。\r"
                                                     "UTF-8: いまのウェブで広く使われている文字コードです。");

QString cannotOpen(const QString& page) { return QStringLiteral("ファイル %1 は開けません").arg(page); }
QString cannotCreate(const QString& page) { return QStringLiteral("ファイル %1 を作成できません").arg(page); }
QString pageKept() { return QStringLiteral("文書は元のままです"); }
QString nameTaken() { return QStringLiteral("同じ名前のファイルが作られていたため、上書きしませんでした"); }
QString pageTooLarge(const QString& page) {
    return QStringLiteral("文書「%1」は行が多すぎるため、書き込み開始位置の設定画面に読み込めません"
                          "（上限 %2 行）。\r文書は変更していません。")
        .arg(page)
        .arg(doc::kMaxListRows);
}
QString pageChangedMeanwhile(const QString& page) {
    return QStringLiteral("文書「%1」は書き込み開始位置の設定中に変更されました。\r"
                          "その変更を失わないよう、何も書き込んでいません。")
        .arg(page);
}
} // namespace texts

namespace {
const QString kOpenFilter = QStringLiteral("すべて|*.*|HTML|*.html;*.htm|イメージ|*.jpg;*.jpeg;*.gif");
constexpr int kHtmlFilter = 2;

[[noreturn]] void fail(const QStringList& lines) {
    throw std::runtime_error(lines.join(QLatin1Char('\r')).toStdString());
}
} // namespace

void TFormQuillet::connectOpenHandlers() {
    onClick(ButtonHtml, [this] { ButtonHtmlClick(); });
}

void TFormQuillet::ButtonHtmlClick() {
    OpenDialog1.filter = kOpenFilter;
    OpenDialog1.filterIndex = kHtmlFilter;
    OpenDialog1.defaultExt = QStringLiteral("html");
    if (OpenDialog1.initialDir.isEmpty())
        OpenDialog1.initialDir = QDir::currentPath();
    OpenDialog1.fileName.clear();
    if (!OpenDialog1.execute(this))
        return;
    EditHtml->setText(OpenDialog1.fileName);
    // Made, marked or left as it was: what the page is now in.
    struct Shown {
        TFormQuillet* window;
        ~Shown() { window->showPageEncoding(); }
    } shown{this};
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
        prompter().confirm(this, texts::pageTooLarge(shownPath), Buttons::Ok);
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
        fail({texts::cannotCreate(shownPath), platform::fileErrorMessage(e), texts::pageKept()});
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
    const auto chosen = prompter().choose(this, texts::ChooseNewPageEncoding,
                                          {QStringLiteral("Shift-JIS"), QStringLiteral("UTF-8")}, 0);
    if (!chosen) {
        EditHtml->clear();
        return;
    }
    // Closing the colour dialog never cancels: whatever it shows then is the page's colours.
    auto dialog = std::make_unique<TFormColor>(this);
    dialog->exec();
    const doc::PageColors colors = dialog->colors();
    dialog.reset();
    try {
        doc::createNewPage(path, colors, charsets[*chosen]);
    } catch (const doc::FileError& e) {
        fail({texts::cannotCreate(EditHtml->text()),
              e.errnum() == EEXIST ? texts::nameTaken() : platform::fileErrorMessage(e)});
    }
}

} // namespace quillet::ui
