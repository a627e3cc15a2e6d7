#include "dialogs/program_icon.h"

#include <QFile>

// The resources sit in a static library, where nothing else would keep them from being
// dropped at link time; Q_INIT_RESOURCE may not stand inside a namespace.
static void loadResources() { Q_INIT_RESOURCE(quillet); }

namespace quillet::ui {

QIcon programIcon() {
    static const bool loaded = (loadResources(), true);
    (void)loaded;
    QIcon icon;
    for (int size : {32, 64, 128})
        icon.addFile(QStringLiteral(":/icons/quillet-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace quillet::ui
