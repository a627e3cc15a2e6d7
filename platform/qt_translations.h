#pragma once
// Qt's own dialogs and buttons (the file and colour choosers, the edits' context menus) speak
// the program's language, whatever the desktop's locale.

class QCoreApplication;

namespace quillet::platform {

// Loads Qt's Japanese texts (Debian's qt6-translations-l10n) into the application and makes
// Japanese the default locale. False when the texts are not installed: Qt then speaks English.
bool useJapaneseQtTexts(QCoreApplication& app);

} // namespace quillet::platform
