#include "main/texts.h"

namespace quillet::ui::texts {

const QString FormQuillet = QStringLiteral("Quillet");
const QString Label2 = QStringLiteral("HTML文書名");
const QString EditHtml = QStringLiteral("index.html");
const QString ButtonHtml = QStringLiteral("...");
const QString Label1 = QStringLiteral("ｻｲﾄ上の文書名");
const QString Label4 = QStringLiteral("タイトル");
const QString EditTitle = QStringLiteral("EditTitle");
const QString Memo1 = QStringLiteral("本文");
const QString CheckBoxTitleMark = QStringLiteral("ﾀｲﾄﾙにﾏｰｸ");
const QString SpeedButtonTtlFont = QStringLiteral("ﾀｲﾄﾙのﾌｫﾝﾄ");
const QString CheckBoxIndent = QStringLiteral("本文をｲﾝﾃﾞﾝﾄ");
const QString SpeedButtonHelp = QStringLiteral("使い方");
const QString SpeedButtonPanel1 = QStringLiteral("ﾊﾟﾈﾙ1");
const QString SpeedButtonPanel2 = QStringLiteral("ﾊﾟﾈﾙ2");
const QString AboutProgram = QStringLiteral("Quillet 試作品");

const QString SpeedButtonSAVE = QStringLiteral("保存");
const QString SpeedButtonCANCEL = QStringLiteral("取消");
const QString SpeedButtonMOD = QStringLiteral("最後の書きこみを編集");
const QString SpeedButtonRep = QStringLiteral("書きこみを全て置換");
const QString SpeedButtonDEL = QStringLiteral("最後の書きこみを削除");
const QString SpeedButtonPREV = QStringLiteral("ブラウザで確認");
const QString SpeedButtonCON = QStringLiteral("接続");
const QString SpeedButtonDIS = QStringLiteral("切断");
const QString SpeedButtonUP = QStringLiteral("サイトにアップロード");
const QString SpeedButtonDN = QStringLiteral("サイトからダウンロード");
const QString SpeedButtonClose = QStringLiteral("終了");

const QString SpeedButtonBold = QStringLiteral("太字");
const QString SpeedButtonItalic = QStringLiteral("斜体");
const QString SpeedButtonUnder = QStringLiteral("下線");
const QString SpeedButtonLine = QStringLiteral("罫線");
const QString SpeedButtonPhrase = QStringLiteral("段落");
const QString SpeedButtonPRE = QStringLiteral("PRE");
const QString SpeedButtonTT = QStringLiteral("等幅");
const QString SpeedButtonBR = QStringLiteral("改行");
const QString SpeedButtonBig = QStringLiteral("大きく");
const QString SpeedButtonSmall = QStringLiteral("小さく");
const QString SpeedButtonList = QStringLiteral("箇条");
const QString SpeedButtonFont = QStringLiteral("ﾌｫﾝﾄ");
const QString GripTip = QStringLiteral("ドラッグでウィンドウに入れたり出したりできます");

const QString OpenDialogFilter = QStringLiteral("すべて|*.*|HTML|*.html;*.htm|イメージ|*.jpg;*.jpeg;*.gif");

const QString ButtonCancelTransfer = QStringLiteral("中止");
const QString ButtonCancelTransferTip = QStringLiteral("転送を中止します (Esc)");
const QString Connected = QStringLiteral("Connected");
const QString NotConnected = QStringLiteral("not connected");
const QString Ready = QStringLiteral("Ready");
QString uploading(const QString& page) { return QStringLiteral("Upload ") + page; }
QString downloading(const QString& remote) { return QStringLiteral("Download ") + remote; }
QString bytesOf(const QString& done, const QString& total) {
    return QStringLiteral("%1 / %2 バイト").arg(done, total);
}
QString bytes(const QString& done) { return QStringLiteral("%1 バイト").arg(done); }
QString previewFailed(const QString& page) {
    return QStringLiteral("ブラウザで開けませんでした: %1").arg(page);
}
QString encodingShown(const QString& name, bool byteOrderMark) {
    return byteOrderMark ? QStringLiteral("%1 (BOM)").arg(name) : name;
}
QString encodingRefusedShown(const QString& label) {
    return QStringLiteral("%1 (書き込めません)").arg(label);
}

const QString RecalledNotSaved = QStringLiteral(
    "呼び出された内容が保存されていません。\rこのまま終了すると呼び出した書き込みは\r"
    "文書より削除されたままになります。\r保存する場合は『キャンセル』を選び\r『保存』してください。");

const QString ReplaceTypedText =
    QStringLiteral("入力中のタイトルと本文を、最後の書き込みで置き換えます。\rよろしいですか？");
QString pageNotFound(const QString& page) {
    return QStringLiteral("文書「%1」が見つかりません。\rHTML文書名を確かめてください。").arg(page);
}
QString notInEncoding(const QString& page, const QString& encoding) {
    return QStringLiteral("文書「%1」の最後の書き込みに、%2として読めない"
                          "文字があります。\r文書を壊さないよう、呼び出しを中止しました。\r"
                          "文書は変更していません。")
        .arg(page, encoding);
}

const QString CreateNewPage = QStringLiteral("この名前で新規に作成しますか？");
const QString ChooseNewPageEncoding = QStringLiteral("新しい文書の文字コードを選んでください。\r"
                                                     "Shift-JIS: これまでの Quillet の文書と同じです。\r"
                                                     "UTF-8: いまのウェブで広く使われている文字コードです。");
const QString ShiftJisChoice = QStringLiteral("Shift-JIS");
const QString Utf8Choice = QStringLiteral("UTF-8");
QString cannotOpen(const QString& page) { return QStringLiteral("ファイル %1 は開けません").arg(page); }
const QString PageKept = QStringLiteral("文書は元のままです");
QString pageTooLarge(const QString& page, qulonglong rowLimit) {
    return QStringLiteral("文書「%1」は行が多すぎるため、書き込み開始位置の設定画面に読み込めません"
                          "（上限 %2 行）。\r文書は変更していません。")
        .arg(page)
        .arg(rowLimit);
}
QString pageChangedMeanwhile(const QString& page) {
    return QStringLiteral("文書「%1」は書き込み開始位置の設定中に変更されました。\r"
                          "その変更を失わないよう、何も書き込んでいません。")
        .arg(page);
}

const QString UploadCanceled =
    QStringLiteral("アップロードを中止しました (サイトの文書は不完全かもしれません)");
const QString DownloadCanceled = QStringLiteral("ダウンロードを中止しました (文書は元のままです)");

} // namespace quillet::ui::texts
