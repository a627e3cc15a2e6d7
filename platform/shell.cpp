#include "platform/shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace quillet::platform {

namespace {
QString& launcher() {
    static QString program;
    return program;
}
} // namespace

void setDesktopLauncher(const QString& program) { launcher() = program; }

void openWithDesktop(const QString& path, QObject* context, std::function<void()> failed) {
    const QFileInfo file(path);
    if (launcher().isEmpty()) {
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(file.absoluteFilePath())))
            failed();
        return;
    }
    auto* process = new QProcess(context);
    process->setProgram(launcher());
    process->setArguments({file.absoluteFilePath()});
    process->setWorkingDirectory(file.absolutePath());
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::errorOccurred, context, [process, failed](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart)
            return; // a crash ends in finished() as well
        failed();
        process->deleteLater();
    });
    QObject::connect(process, &QProcess::finished, context,
                     [process, failed](int code, QProcess::ExitStatus status) {
                         if (status != QProcess::NormalExit || code != 0)
                             failed();
                         process->deleteLater();
                     });
    process->start();
}

} // namespace quillet::platform
