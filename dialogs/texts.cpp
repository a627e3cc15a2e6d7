#include "dialogs/texts.h"

namespace quillet::ui::maker {
const QString Name = QStringLiteral("Quillet の作者");
const QString Url = QStringLiteral("https://example.invalid/");
const QString Mail = QStringLiteral("quillet@example.invalid");
} // namespace quillet::ui::maker

namespace quillet::ui::dialogs::texts {

const QString ButtonOk = QStringLiteral("設　定");
const QString ButtonNg = QStringLiteral("取　消");

namespace about {
QString webAddress(const QString& url) { return QStringLiteral("URL: ") + url; }
QString mailAddress(const QString& mail) { return QStringLiteral("E-mail: ") + mail; }
} // namespace about

namespace help {
const QString FormHelp = QStringLiteral("Quilletの使い方");
const QStringList Memo1 = {
    QStringLiteral("■QuilletはWebの作成者がお知らせや日記のようなページの"),
    QStringLiteral("追加更新をお手伝いするための道具です。"),
    QString(),
    QStringLiteral("１．更新するPC上のHTML文書名を決めてください。"),
    QString(),
    QStringLiteral("２．このとき"),
    QStringLiteral("指定したHTML文書がないときは、新規作成が始まります。"),
    QStringLiteral("初めてQuilletを使って更新するときは、書き込み開始位置"),
    QStringLiteral("の設定画面が表示されます。"),
    QString(),
    QStringLiteral("３．新規に書き込む場合はタイトルと本文を記入し、『保存』"),
    QStringLiteral("を押して保存してください。"),
    QString(),
    QStringLiteral("４．HTMLに記載されている最後の書き込みを削除する場合は、"),
    QStringLiteral("『最後の書き込みを削除』を押して削除してください。"),
    QString(),
    QStringLiteral("５．HTMLに記載されている最後の書き込みを編集する場合は、"),
    QStringLiteral("『最後の書き込みを編集』を押して表示されたものを編集して"),
    QStringLiteral("ください。"),
    QStringLiteral("このときHTMLから最後の書き込みは削除されてます。"),
    QStringLiteral("保存しないで終了すると最後の書き込みは消えてしまいます。"),
    QString(),
    QStringLiteral("６．作成した文書を確認するには『ブラウザで確認』を押して"),
    QStringLiteral("ください。"),
    QString(),
    QStringLiteral("７．確認した内容が正しければ、『接続』ボタンを押して、"),
    QStringLiteral("プロバイダに接続しましょう。"),
    QString(),
    QStringLiteral("接続完了すると『切断』や『サイトにアップロード』や『サイ"),
    QStringLiteral("トからダウンロード』のボタンが使用可能になります。"),
    QString(),
    QStringLiteral("８．接続が完了したらサイトへアップロードしましょう。"),
    QStringLiteral("このとき『サイト上の文書名』を必ず指定しておいてください。"),
    QString(),
    QStringLiteral("９．アップロードが終了したら、『切断』ボタンを押して接続"),
    QStringLiteral("を終了しましょう。"),
    QString(),
};
} // namespace help

namespace list {
const QString FormList = QStringLiteral("箇条書きの設定");
const QStringList Memo1 = {
    QStringLiteral("【箇条書きの設定です】"),
    QStringLiteral("箇条書きには記号タイプと番号タイプの２種類があります。"),
    QStringLiteral("記号タイプは<UL>と</UL>で囲まれたブロック内に箇条書きします。"),
    QStringLiteral("番号タイプは<OL>と</OL>で囲まれたブロック内に箇条書きします。"),
    QString(),
    QStringLiteral("各箇条書き項目は<LI>を付すことにより箇条書き項目となります。"),
};
const QString RadioGroupType = QStringLiteral("箇条書きのタイプ");
const QStringList RadioGroupTypeItems = {
    QStringLiteral("●(くろまる記号)"),
    QStringLiteral("○(しろまる記号)"),
    QStringLiteral("□(四角い記号)"),
    QStringLiteral("1,2,3(数字で綴る)"),
    QStringLiteral("A,B,C(英大文字で綴る)"),
    QStringLiteral("a,b,c(英小文字で綴る)"),
    QStringLiteral("I,II,III(ローマ数字大文字で綴る)"),
    QStringLiteral("i,ii,iii(ローマ数字小文字で綴る)"),
};
const QString GroupBoxStart = QStringLiteral("開始番号");
} // namespace list

namespace font {
const QString FormFont = QStringLiteral("フォントの設定");
const QString CheckBoxBold = QStringLiteral("太字");
const QString CheckBoxItalic = QStringLiteral("斜体");
const QString SpeedButton1 = QStringLiteral("色");
const QString Label1 = QStringLiteral("サイズ");
const QStringList Memo1 = {
    QStringLiteral("サイズには"),
    QStringLiteral("1～7の間の絶対サイズか"),
    QStringLiteral("-5,-4,-3,～+3,+4,+5の間の"),
    QStringLiteral("相対サイズで指定できま"),
    QStringLiteral("す。"),
};
} // namespace font

namespace color {
const QString FormColor = QStringLiteral("FormColor");
const QString Panel1 = QStringLiteral("背景");
const QString LabelText = QStringLiteral("普通の文字");
const QString LabelVLink = QStringLiteral("訪問済みリンクの文字");
const QString LabelLink = QStringLiteral("リンクの文字");
const QString LabelALink = QStringLiteral("アクティブ・リンクの文字");
} // namespace color

namespace insertion {
const QString FormSetIns = QStringLiteral("書き込み開始位置の設定");
const QStringList Memo1 = {
    QStringLiteral("書き込み開始位置に『<!-INS-!>』を書き込みます。"),
    QString(),
    QStringLiteral("1書き込み開始位置でダブルクリックをするとその次の行に書き込まれます。"),
    QStringLiteral("2.『<!-INS-!>』の行をダブルクリックするとその行は削除されます。"),
    QStringLiteral("3.開始位置に問題がなければ右上の『×』をおして閉じてください。"),
};
} // namespace insertion

namespace site {
const QString FormLogin = QStringLiteral("接続先をｸﾘｯｸしてください or ESC");
const QString EditTITLE = QStringLiteral("名称");
const QString EditHost = QStringLiteral("ﾎｽﾄ・ｱﾄﾞﾚｽ");
const QString EditPort = QStringLiteral("ﾎﾟｰﾄ");
const QString PortNote = QStringLiteral("(通常はこのまま)");
const QString EditPortDefault = QStringLiteral("21");
const QString EditUser = QStringLiteral("ﾕｰｻﾞｰ名");
const QString EditPassword = QStringLiteral("ﾊﾟｽﾜｰﾄﾞ");
const QString SavePasswd = QStringLiteral("保存");
const QString Optional = QStringLiteral("以降は必要に応じて設定してください");
const QString EditHome = QStringLiteral("ﾛｰｶﾙ･ﾎｰﾑ");
const QString ButtonDir = QStringLiteral("...");
const QString UseProxy = QStringLiteral("ﾌﾟﾛｸｼ経由");
const QString EditProxy = QStringLiteral("ﾌﾟﾛｸｼ･ｱﾄﾞﾚｽ");
const QString EditProxyPort = QStringLiteral("ﾌﾟﾛｸｼ･ﾎﾟｰﾄ");
const QString DataConnection = QStringLiteral("ﾃﾞｰﾀ接続");
const QString RadioPassive = QStringLiteral("パッシブ");
const QString RadioActive = QStringLiteral("アクティブ");
const QString Security = QStringLiteral("ｾｷｭﾘﾃｨ");
const QString RadioTLS = QStringLiteral("TLS 必須");
const QString RadioPlain = QStringLiteral("暗号化なし");
const QString LabelPlainWarning =
    QStringLiteral("※ 暗号化なしでは、パスワードもページも暗号化されずにネットワークを流れます");
const QString Certificate = QStringLiteral("証明書");
const QString NoPin = QStringLiteral("なし");
const QString ButtonPinClear = QStringLiteral("解除");
const QString ButtonOK = QStringLiteral("接続");
const QString ButtonADD = QStringLiteral("追加");
const QString ButtonDEL = QStringLiteral("削除");
const QString ButtonNG = QStringLiteral("取消");
const QString ChooseFolder = QStringLiteral("ディレクトリの選択");
} // namespace site

namespace certificate {
const QString Caption = QStringLiteral("確認");
const QString Untrusted = QStringLiteral("%1 の証明書は信頼できません");
const QString Subject = QStringLiteral("発行先");
const QString Issuer = QStringLiteral("発行者");
const QString Validity = QStringLiteral("有効期間");
const QString ValidityRange = QStringLiteral("%1 ～ %2");
const QString Fingerprint = QStringLiteral("SHA-256");
const QString Question = QStringLiteral("このサイトでは、この証明書を信頼しますか？\n"
                                        "「はい」にすると、このサイトには以後この証明書だけを受け入れます。");
const QString Yes = QStringLiteral("はい(&Y)");
const QString No = QStringLiteral("いいえ(&N)");

const QString Reason = QStringLiteral("・%1");
} // namespace certificate

} // namespace quillet::ui::dialogs::texts
