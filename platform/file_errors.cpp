#include "platform/file_errors.h"

#include <cerrno>

#include "document/file_io.h"

namespace quillet::platform {

int runtimeFileErrorCode(int errnum) {
    switch (errnum) {
    case ENOENT:
        return 2;
    case ENOTDIR:
    case EINVAL:
    case ENAMETOOLONG:
        return 3;
    case EMFILE:
    case ENFILE:
        return 4;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return 5;
    case ENOSPC:
    case EDQUOT:
        return 101;
    default:
        return 0;
    }
}

QString runtimeFileErrorText(int code) {
    switch (code) {
    case 2:
        return QStringLiteral("ファイルが見つかりません");
    case 3:
        return QStringLiteral("不正なファイル名です");
    case 4:
        return QStringLiteral("オープンしたファイルが多すぎます");
    case 5:
        return QStringLiteral("ファイルへのアクセスが拒否されました");
    case 100:
        return QStringLiteral("ファイルの末尾以降を読み込みました");
    case 101:
        return QStringLiteral("ディスクがいっぱいです");
    case 106:
        return QStringLiteral("入力値が数値ではありません");
    default:
        return QStringLiteral("I/O エラー (%1)").arg(code);
    }
}

QString fileErrorTextForErrno(int errnum) {
    const int code = runtimeFileErrorCode(errnum);
    return code ? runtimeFileErrorText(code) : QStringLiteral("I/O エラー (%1)").arg(errnum);
}

QString fileErrorMessage(const doc::FileError& error) { return fileErrorTextForErrno(error.errnum()); }

} // namespace quillet::platform
