#include "dialogs/help_window.h"

#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

namespace quillet::ui {

namespace {
constexpr int kWidth = 353;
constexpr int kHeight = 278;

const char* const kLines[] = {
    "■QuilletはWebの作成者がお知らせや日記のようなページの",
    "追加更新をお手伝いするための道具です。",
    "",
    "１．更新するPC上のHTML文書名を決めてください。",
    "",
    "２．このとき",
    "指定したHTML文書がないときは、新規作成が始まります。",
    "初めてQuilletを使って更新するときは、書き込み開始位置",
    "の設定画面が表示されます。",
    "",
    "３．新規に書き込む場合はタイトルと本文を記入し、『保存』",
    "を押して保存してください。",
    "",
    "４．HTMLに記載されている最後の書き込みを削除する場合は、",
    "『最後の書き込みを削除』を押して削除してください。",
    "",
    "５．HTMLに記載されている最後の書き込みを編集する場合は、",
    "『最後の書き込みを編集』を押して表示されたものを編集して",
    "ください。",
    "このときHTMLから最後の書き込みは削除されてます。",
    "保存しないで終了すると最後の書き込みは消えてしまいます。",
    "",
    "６．作成した文書を確認するには『ブラウザで確認』を押して",
    "ください。",
    "",
    "７．確認した内容が正しければ、『接続』ボタンを押して、",
    "プロバイダに接続しましょう。",
    "",
    "接続完了すると『切断』や『サイトにアップロード』や『サイ",
    "トからダウンロード』のボタンが使用可能になります。",
    "",
    "８．接続が完了したらサイトへアップロードしましょう。",
    "このとき『サイト上の文書名』を必ず指定しておいてください。",
    "",
    "９．アップロードが終了したら、『切断』ボタンを押して接続",
    "を終了しましょう。",
    "",
};
} // namespace

TFormHelp::TFormHelp(QWidget* owner) : QWidget(owner, Qt::Tool) {
    setObjectName(QStringLiteral("FormHelp"));
    setWindowTitle(QStringLiteral("Quilletの使い方"));
    // A window does not inherit its owner's font by itself.
    if (owner)
        setFont(owner->font());
    resize(kWidth, kHeight);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QStringList lines;
    for (const char* line : kLines)
        lines << QString::fromUtf8(line);
    // The lines were broken by hand for a narrower font. Wrapped again they would leave a
    // character or two on lines of their own, so they stay whole, in a size that fits them all.
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    const int room = kWidth - 2 * Memo1->frameWidth() - style()->pixelMetric(QStyle::PM_ScrollBarExtent) -
                     2 * static_cast<int>(Memo1->document()->documentMargin()) - Memo1->cursorWidth();
    QFont text = font();
    auto widest = [&lines](const QFont& f) {
        const QFontMetrics metrics(f);
        int most = 0;
        for (const QString& line : lines)
            most = std::max(most, metrics.horizontalAdvance(line));
        return most;
    };
    while (text.pixelSize() > 9 && widest(text) > room)
        text.setPixelSize(text.pixelSize() - 1);
    Memo1->setFont(text);
    Memo1->setPlainText(lines.join(QLatin1Char('\n')));

    auto* fill = new QVBoxLayout(this);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(Memo1);
}

TFormHelp::~TFormHelp() = default;

} // namespace quillet::ui
