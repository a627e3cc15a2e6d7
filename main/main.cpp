#include <QApplication>
#include <QStandardPaths>

#include "cli/command_line.h"
#include "dialogs/program_icon.h"
#include "main/main_window.h"
#include "platform/qt_translations.h"
#include "platform/shell.h"

int main(int argc, char* argv[]) {
    // A command runs without a display: no widget, not even the GUI application, is made.
    if (quillet::cli::isCommandLine(argc, argv))
        return quillet::cli::run(argc, argv);
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
