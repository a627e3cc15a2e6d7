#include <QApplication>

#include "dialogs/program_icon.h"
#include "main/UnitMain.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillet"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quillet"));
    QApplication::setDesktopFileName(QStringLiteral("quillet"));
    QApplication::setWindowIcon(quillet::ui::programIcon());
    quillet::ui::TFormQuillet window;
    window.show();
    return app.exec();
}
