#include "platform/settings_path.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <unistd.h>

#include "document/paths.h"

namespace quillet::platform {

bool settingsBesideExecutable(const QString& folder, bool folderWritable) {
    return folderWritable && QFileInfo(QDir::cleanPath(folder)).fileName() != QLatin1String("bin");
}

QString settingsFilePathFor(const QString& executable, const QString& fallbackFolder) {
    const QString beside = QFile::decodeName(
        QByteArray::fromStdString(doc::changeExtension(QFile::encodeName(executable).toStdString(), ".ini")));
    const QFileInfo info(beside);
    const QString folder = info.absolutePath();
    const bool writable =
        QFileInfo(folder).isDir() && ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
    if (settingsBesideExecutable(folder, writable))
        return beside;
    return QDir(fallbackFolder).filePath(info.fileName());
}

QString settingsFilePath() {
    return settingsFilePathFor(QCoreApplication::applicationFilePath(),
                               QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

} // namespace quillet::platform
