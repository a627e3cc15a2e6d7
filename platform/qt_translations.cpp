#include "platform/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace quillet::platform {

bool useJapaneseQtTexts(QCoreApplication& app) {
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    QLocale::setDefault(japanese);
    auto* texts = new QTranslator(&app);
    // "qt_ja" names Qt's modules' catalogues, qtbase's among them.
    if (!texts->load(japanese, QStringLiteral("qt"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete texts;
        return false;
    }
    return QCoreApplication::installTranslator(texts);
}

} // namespace quillet::platform
