#pragma once
// Where the settings file lives: beside the executable, named after it with ".ini"; when that
// folder cannot be written (an installed binary), in the per-user configuration folder.

#include <QString>

namespace quillet::platform {

// The rule on its own: the executable's path with ".ini" for its extension, moved into
// fallbackFolder when the executable's folder is not writable.
QString settingsFilePathFor(const QString& executable, const QString& fallbackFolder);

// For this program.
QString settingsFilePath();

} // namespace quillet::platform
