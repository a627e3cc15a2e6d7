#pragma once
#include <QString>

namespace quillet::platform {
// Opens a file with the program the desktop has registered for its type; the answer is not
// examined.
void openWithDesktop(const QString& path);
} // namespace quillet::platform
