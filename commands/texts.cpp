#include "commands/texts.h"

namespace quillet::commands::texts {

const QString ReplaceAllMissingBody = QStringLiteral(
    "編集している内容で『<!-INS-!>』以降\rを置換える操作です。\r"
    "編集内容に『</BODY>』と『</HTML>』が\r必ず記述されていません。\r大文字で追加してください。");
const QString ReplaceAllMissingHtml =
    QStringLiteral("編集内容に『</HTML>』が必ず記述されていません。\r大文字で追加してください。");
QString noInsertionMarker(const QString& page) {
    return QStringLiteral("文書に『<!-INS-!>』だけの行がありません。\r%1\r"
                          "書き込む位置がわからないため、何も書き込んでいません。")
        .arg(page);
}

const QString NoEntryEnd = QStringLiteral("書き込みの終わり『<!-END-!>』が見つかりません");

QString cannotCreate(const QString& page) { return QStringLiteral("ファイル %1 を作成できません").arg(page); }
const QString NameTaken = QStringLiteral("同じ名前のファイルが作られていたため、上書きしませんでした");

const QString DownloadNotInstalled =
    QStringLiteral("ダウンロードした文書は使いませんでした (文書は元のままです)");
QString downloadIncomplete(const QString& page) {
    return QStringLiteral("「%1」のダウンロードは完了しませんでした。\r文書は変更していません").arg(page);
}
QString uploadSizeDiffers(const QString& page, const QString& held, const QString& sent) {
    return QStringLiteral(
               "「%1」のアップロードは完全ではありません。\r"
               "サーバー上の文書は %2 バイト、送ったのは %3 バイトです。もう一度アップロードしてください")
        .arg(page, held, sent);
}
QString replaceMarkedPage(const QString& page) {
    return QStringLiteral("ダウンロードした文書には書き込み開始位置『<!-INS-!>』の行がありません。\r"
                          "文書「%1」をこの内容で置き換えますか？")
        .arg(page);
}

QString connecting(const QString& host) { return QStringLiteral("%1 に接続しています…").arg(host); }
const QString ConnectCanceled = QStringLiteral("接続を中止しました");
const QString HostNotFound = QStringLiteral("サーバーが見つかりません。ﾎｽﾄ・ｱﾄﾞﾚｽを確かめてください");
const QString LookupTimedOut =
    QStringLiteral("サーバー名を調べきれませんでした。ネットワークを確かめてください");
const QString ConnectRefused = QStringLiteral("接続を拒否されました。ﾎｽﾄ・ｱﾄﾞﾚｽとﾎﾟｰﾄを確かめてください");
const QString Unreachable = QStringLiteral("サーバーに届きません。ネットワークを確かめてください");
const QString NoAnswer = QStringLiteral("サーバーが応答しません。時間をおいて接続し直してください");
const QString ClosedByServer = QStringLiteral("サーバーが接続を切りました。時間をおいて接続し直してください");
const QString NotAnFtpReply =
    QStringLiteral("サーバーの応答を読めません。ﾎｽﾄ・ｱﾄﾞﾚｽとﾎﾟｰﾄを確かめてください");
QString loginRefused(const QString& reply) {
    return QStringLiteral("ログインできません。ﾕｰｻﾞｰ名とﾊﾟｽﾜｰﾄﾞを確かめてください (%1)").arg(reply);
}
QString serverBusy(const QString& reply) {
    return QStringLiteral("サーバーが接続を断りました。時間をおいて接続し直してください (%1)").arg(reply);
}
QString connectFailed(int errorNumber) {
    const QString what = QStringLiteral("接続できません。ﾎｽﾄ・ｱﾄﾞﾚｽとネットワークを確かめてください");
    return errorNumber > 0 ? what + QStringLiteral(" (エラー %1)").arg(errorNumber) : what;
}
const QString Securing = QStringLiteral("暗号化の準備をしています…");
const QString LoggingIn = QStringLiteral("ログインしています…");
const QString NoTls = QStringLiteral(
    "サーバーが TLS に対応していません (パスワードは送っていません)。サイトの設定を確かめてください");
const QString NoDataProtection = QStringLiteral("サーバーがデータ接続の暗号化を断りました");
const QString NotTls = QStringLiteral("サーバーが TLS で応答しません。ﾎﾟｰﾄを確かめてください");
const QString TlsEnded = QStringLiteral("暗号化の準備中にサーバーが接続を切りました");
QString tlsFailed(const QString& detail) { return QStringLiteral("暗号化に失敗しました (%1)").arg(detail); }
const QString ClearBeforeTls = QStringLiteral("暗号化の前に不正なデータが届いたため、接続を中止しました");
QString untrusted(const QString& reasons) {
    return QStringLiteral("証明書を信頼しなかったため、接続を中止しました (%1)").arg(reasons);
}
const QString ReasonSeparator = QStringLiteral("、");
const QString PinChanged =
    QStringLiteral("証明書が、このサイトで信頼した証明書と違うため、接続を中止しました");

const QString SelfSigned = QStringLiteral("自己署名の証明書です");
const QString Expired = QStringLiteral("有効期限が切れています");
const QString NotYetValid = QStringLiteral("有効期間がまだ始まっていません");
const QString OtherName = QStringLiteral("別のホスト名の証明書です");
const QString UnknownIssuer = QStringLiteral("発行者を信頼できません");
const QString Invalid = QStringLiteral("証明書を検証できません");
const QString PinChangedWarning = QStringLiteral(
    "%1 の証明書が、このサイトで信頼した証明書と違うため、接続を中止しました。"
    "通信が第三者に横取りされている恐れがあります。\r"
    "信頼した証明書: %2\r"
    "今回の証明書: %3\r"
    "証明書が正しく取り替えられたと確かめられたときは、サイトの設定で証明書の固定を解除してください");

} // namespace quillet::commands::texts
