#pragma once
// Where the settings file lives: beside the executable, named after it with ".ini", when the
// program runs where it was built or unpacked; for an installed program (its folder is a "bin"
// folder, or cannot be written) in the per-user configuration folder.

#include <QString>

namespace quillet::platform {

// The decision on its own. A "bin" folder is an installed prefix's, shared by other programs
// and often by other users, even where it happens to be writable (/usr/local/bin for root).
bool settingsBesideExecutable(const QString& folder, bool folderWritable);

// The rule on its own: the executable's path with ".ini" for its extension, moved into
// fallbackFolder when the file does not belong beside the executable.
QString settingsFilePathFor(const QString& executable, const QString& fallbackFolder);

// For this program.
QString settingsFilePath();

} // namespace quillet::platform
