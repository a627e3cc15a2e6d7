#pragma once
// File errors as the author sees them: the runtime's error numbers and texts.

#include <QString>

namespace quillet::doc {
class FileError;
}

namespace quillet::platform {

// The runtime's file-error number for an errno value: 2, 3, 4, 5 or 101; 0 for the others,
// which are shown as "I/O エラー" with the errno.
int runtimeFileErrorCode(int errnum);
// The text for a runtime file-error number.
QString runtimeFileErrorText(int code);
QString fileErrorTextForErrno(int errnum);
QString fileErrorMessage(const doc::FileError& error);

} // namespace quillet::platform
