#include <QApplication>

#include "main/UnitMain.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillet"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quillet"));
    quillet::ui::TFormQuillet window;
    window.show();
    return app.exec();
}
