#include "platform/open_dialog.h"

#include "platform/prompter.h"

namespace quillet::platform {

bool OpenDialog::execute(QWidget* parent) {
    const auto chosen = prompter().chooseOpenFile(parent, *this);
    if (!chosen)
        return false;
    fileName = *chosen;
    return true;
}

QStringList nameFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        // On this file system a name needs no dot, so "*.*" would hide files without one.
        for (QString& p : patterns)
            if (p == QStringLiteral("*.*"))
                p = QStringLiteral("*");
        filters << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters;
}

} // namespace quillet::platform
