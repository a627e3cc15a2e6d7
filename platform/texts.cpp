#include "platform/texts.h"

#include <QFile>

#include "document/page_encoding.h"

namespace quillet::platform::texts {

QString cannotHold(const QString& what, const QString& encoding) {
    return QStringLiteral("「%1」に %2 で表せない文字があります").arg(what, encoding);
}

QString encodingRefused(const doc::EncodingRefusedError& error) {
    QString why;
    switch (error.reason()) {
    case doc::RefusalReason::Unknown:
        why = QStringLiteral("このシステムでは扱えない文字コードです");
        break;
    case doc::RefusalReason::Wide:
        why = QStringLiteral("英数字も 2 バイト以上で表す文字コードのため、書き込みの目印を見分けられません");
        break;
    case doc::RefusalReason::Stateful:
        why = QStringLiteral("エスケープシーケンスで文字の種類を切り替える文字コードのため、"
                             "書き込みの目印を確実には見分けられません");
        break;
    case doc::RefusalReason::NotAsciiCompatible:
        why = QStringLiteral("英数字のバイトが英数字そのものを表すとは限らない文字コードのため、"
                             "書き込みの目印を確実には見分けられません");
        break;
    }
    const QString label =
        QString::fromUtf8(error.label().data(), static_cast<qsizetype>(error.label().size()));
    return QStringLiteral("文書「%1」の文字コード「%2」には書き込めません。\r%3。\r"
                          "UTF-8 か Shift-JIS で保存し直してください。文書は変更していません")
        .arg(QFile::decodeName(QByteArray::fromStdString(error.page())), label, why);
}

} // namespace quillet::platform::texts
