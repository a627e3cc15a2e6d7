#include "cli/texts.h"

namespace quillet::cli::texts {

const QString Help = QStringLiteral(
    "使い方: quillet [コマンド 文書 [オプション...]]\n"
    "コマンドなしで起動するとウィンドウを開きます。コマンドを付けると、ウィンドウを開かずに\n"
    "ウィンドウと同じ処理をします (画面は要りません)。\n"
    "\n"
    "コマンド:\n"
    "  post 文書           書き込みを文書の『<!-INS-!>』の行の後に保存します (「保存」)\n"
    "  replace 文書        『<!-INS-!>』以降を本文で置き換えます (「書きこみを全て置換」)\n"
    "  delete-last 文書    最後の書き込みを削除します (「最後の書きこみを削除」)\n"
    "  undo 文書           最後の書き換えを元に戻します (「取消」)\n"
    "  last 文書           最後の書き込みを表示します (文書は変えません)\n"
    "  new 文書            新しい文書をひな形から作ります (あるファイルは上書きしません)\n"
    "  sites               保存されたサイトの名前とホストを表示します (パスワードは表示しません)\n"
    "  publish 文書        文書をサイトにアップロードします (「サイトにアップロード」)\n"
    "  fetch 文書          サイトから文書をダウンロードします (元の文書はバックアップに残ります)\n"
    "\n"
    "オプション:\n"
    "  --title T           タイトル (post, replace)\n"
    "  --body-file F       本文のファイル (UTF-8)。- で標準入力 (post, replace)\n"
    "  --bold              タイトルを太字にします\n"
    "  --italic            タイトルを斜体にします\n"
    "  --color #RRGGBB     タイトルの色\n"
    "  --size TOKEN        タイトルの大きさ (FONT SIZE の値: 1 から 7、+1、-2 など)\n"
    "  --mark IMAGE        タイトルの前に画像を付けます\n"
    "  --indent            本文をインデントします\n"
    "  --json              last: 最後の書き込みを JSON で出力します\n"
    "  --encoding E        new: 文字コード。shift_jis (既定) か utf-8\n"
    "  --background #RRGGBB  new: 背景の色\n"
    "  --text #RRGGBB      new: 文字の色 (既定は背景の反対の色)\n"
    "  --link #RRGGBB      new: リンクの色\n"
    "  --vlink #RRGGBB     new: 訪問済みリンクの色\n"
    "  --alink #RRGGBB     new: 選択中のリンクの色\n"
    "  --site NAME         publish, fetch: サイトの名前 (sites で一覧を表示します)\n"
    "  --remote NAME       publish, fetch: サイト上の文書名 (既定は文書のファイル名)\n"
    "  --password-file F   publish, fetch: パスワードを読むファイル (サイトにパスワードを\n"
    "                      保存していないとき。ないときは端末で尋ねます)\n"
    "  --trust SHA256      publish, fetch: この指紋の証明書を信頼し、サイトに固定します\n"
    "  --force             fetch: 『<!-INS-!>』の行がない文書でも置き換えます\n"
    "  --settings F        sites, publish, fetch: サイト一覧の設定ファイル\n"
    "  -h, --help          この説明を表示します\n"
    "  -v, --version       版を表示します\n"
    "\n"
    "終了状態: 0 成功、1 失敗、2 使い方の誤り。メッセージは標準エラー出力に出ます。\n");
QString version(const QString& number) { return QStringLiteral("quillet %1\n").arg(number); }

QString unknownCommand(const QString& command) {
    return QStringLiteral("知らないコマンドです: %1 (quillet --help で使い方を表示します)").arg(command);
}
const QString CommandMissing = QStringLiteral("コマンドがありません (quillet --help で使い方を表示します)");
const QString PageMissing = QStringLiteral("文書名がありません");
QString extraArgument(const QString& argument) {
    return QStringLiteral("余分な引数があります: %1").arg(argument);
}
QString unknownOption(const QString& option) {
    return QStringLiteral("知らないオプションです: %1").arg(option);
}
QString optionNotFor(const QString& option, const QString& command) {
    return QStringLiteral("オプション %1 は %2 には使えません").arg(option, command);
}
QString unreadableArguments(const QString& detail) {
    return QStringLiteral("引数を読めません (%1)").arg(detail);
}
const QString ArgumentNotUtf8 = QStringLiteral("引数が UTF-8 ではありません");
QString badColor(const QString& option, const QString& value) {
    return QStringLiteral("%1 の色は #RRGGBB の形で指定してください: %2").arg(option, value);
}
QString badSize(const QString& value) {
    return QStringLiteral("タイトルの大きさ (FONT SIZE) として使えません: %1").arg(value);
}
QString badEncoding(const QString& value) {
    return QStringLiteral("--encoding は shift_jis か utf-8 です: %1").arg(value);
}
const QString SiteMissing = QStringLiteral("--site でサイトの名前を指定してください");
const QString TitleHasLineEnd = QStringLiteral("タイトルに改行は使えません");
const QString BodyFileMissing = QStringLiteral("--body-file で本文のファイルを指定してください");

const QString BodyNotUtf8 = QStringLiteral("本文が UTF-8 ではないため、何も書き込んでいません");
QString cannotRead(const QString& file, const QString& why) {
    return QStringLiteral("%1 を読めません (%2)").arg(file, why);
}
const QString PageNotFound = QStringLiteral("文書が見つかりません");
const QString NoBackup = QStringLiteral("バックアップがないため、元に戻せません");
QString notInEncoding(const QString& encoding) {
    return QStringLiteral("最後の書き込みに、%1として読めない文字があります").arg(encoding);
}
QString unknownSite(const QString& site) {
    return QStringLiteral("サイト「%1」は保存されていません (quillet sites で一覧を表示します)").arg(site);
}
const QString NoPassword =
    QStringLiteral("パスワードがありません。--password-file で渡すか、端末から実行してください");
QString passwordPrompt(const QString& site) { return QStringLiteral("サイト「%1」のパスワード: ").arg(site); }
QString trustHint(const QString& fingerprint) {
    return QStringLiteral(
               "証明書の SHA-256 指紋は %1 です。確かめたうえで信頼するなら --trust %1 を付けてください")
        .arg(fingerprint);
}
const QString MarkerlessNotInstalled =
    QStringLiteral("ダウンロードした文書には『<!-INS-!>』の行がないため、置き換えませんでした "
                   "(文書は元のままです。置き換えるなら --force を付けてください)");

QString progress(const QString& page, const QString& done, const QString& total) {
    return QStringLiteral("%1: %2 / %3 バイト").arg(page, done, total);
}
QString progressBytes(const QString& page, const QString& done) {
    return QStringLiteral("%1: %2 バイト").arg(page, done);
}

const QString TitleLabel = QStringLiteral("タイトル: ");
const QString StyleLabel = QStringLiteral("スタイル: ");
const QString Bold = QStringLiteral("太字");
const QString Italic = QStringLiteral("斜体");
QString color(const QString& value) { return QStringLiteral("色 %1").arg(value); }
QString size(const QString& value) { return QStringLiteral("大きさ %1").arg(value); }
QString mark(const QString& tag) { return QStringLiteral("マーク %1").arg(tag); }
const QString Indent = QStringLiteral("インデント");

} // namespace quillet::cli::texts
