#include "platform/error_text.h"

#include <QFile>
#include <QStringDecoder>

#include "document/file_io.h"
#include "document/page_encoding.h"
#include "document/page_lock.h"
#include "document/work_files.h"
#include "platform/codepage.h"
#include "platform/file_errors.h"
#include "platform/texts.h"

namespace quillet::platform {

QString withClosingPeriod(const QString& message) {
    if (!message.isEmpty() && message.back() > QChar('.'))
        return message + QChar('.');
    return message;
}

QString exceptionMessage(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const doc::FileError& e) {
        return fileErrorMessage(e);
    } catch (const doc::PageBusyError& e) {
        return QStringLiteral("文書「%1」は別の Quillet が書き換えているところです。\r"
                              "少し待ってから、もう一度試してください。\r文書は変更していません")
            .arg(QFile::decodeName(QByteArray::fromStdString(e.page())));
    } catch (const doc::PageNameError&) {
        return QStringLiteral("文書名の拡張子が作業ファイル (.TMP / .BAK) と同じなので、"
                              "この文書は書き換えられません");
    } catch (const doc::EncodingRefusedError& e) {
        return texts::encodingRefused(e);
    } catch (const std::exception& e) {
        // Our own texts are UTF-8; a server's reply line is CP932 bytes.
        const std::string_view what = e.what();
        QStringDecoder utf8(QStringConverter::Utf8);
        const QString text = utf8(QByteArrayView(what.data(), static_cast<qsizetype>(what.size())));
        if (!utf8.hasError())
            return text;
        if (auto decoded = cp932().decode(what))
            return *decoded;
        return QString::fromLatin1(what.data(), static_cast<qsizetype>(what.size()));
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

} // namespace quillet::platform
