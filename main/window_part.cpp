// The window as a part of its own, which the program loads when it starts without a command.
#include <QApplication>
#include <QStandardPaths>

#include "dialogs/program_icon.h"
#include "main/main_window.h"
#include "platform/qt_translations.h"
#include "platform/shell.h"

extern "C" int quilletWindow(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // No display name: Qt would add it to every other window's caption ("Quilletの使い方").
    QApplication::setApplicationName(QStringLiteral("Quillet"));
    QApplication::setDesktopFileName(QStringLiteral("quillet"));
    QApplication::setWindowIcon(quillet::ui::programIcon());
    quillet::platform::useJapaneseQtTexts(app);
    quillet::platform::setDesktopLauncher(QStandardPaths::findExecutable(QStringLiteral("xdg-open")));
    quillet::ui::TFormQuillet window;
    window.show();
    return app.exec();
}
