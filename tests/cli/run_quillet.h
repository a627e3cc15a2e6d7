#pragma once
// The real program as a process, as a script would run it: no display, no Qt platform chosen.

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <string>
#include <unistd.h>

namespace quillet::testing {

struct Ran {
    int status = -1;
    std::string out, err; // UTF-8
    // Standard error holds exactly one line.
    bool oneLine() const { return !err.empty() && err.find('\n') == err.size() - 1; }
};

inline Ran runQuillet(const QStringList& arguments, const std::string& input = {},
                      const QString& folder = QString()) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(env);
    // No controlling terminal either: nothing may wait for a person to type.
    process.setChildProcessModifier([] { ::setsid(); });
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.start(QStringLiteral(QUILLET_BINARY), arguments);
    process.write(input.data(), static_cast<qint64>(input.size()));
    process.closeWriteChannel();
    process.waitForFinished(-1);
    Ran ran;
    ran.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    ran.out = process.readAllStandardOutput().toStdString();
    ran.err = process.readAllStandardError().toStdString();
    return ran;
}

} // namespace quillet::testing
