#include "platform/shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace quillet::platform {
void openWithDesktop(const QString& path) {
    (void)QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}
} // namespace quillet::platform
