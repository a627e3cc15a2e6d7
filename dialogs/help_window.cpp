#include "dialogs/help_window.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace quillet::ui {

namespace {
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
    resize(353, 278);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QStringList lines;
    for (const char* line : kLines)
        lines << QString::fromUtf8(line);
    Memo1->setPlainText(lines.join(QLatin1Char('\n')));

    auto* fill = new QVBoxLayout(this);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(Memo1);
}

TFormHelp::~TFormHelp() = default;

} // namespace quillet::ui
