#pragma once
// Opening a file with the program the desktop has registered for its type.

#include <QString>
#include <functional>

class QObject;

namespace quillet::platform {

// Asks the desktop to open the file, its folder the working folder. `failed` runs on the GUI
// thread, at once or later, when nothing opened it: no launcher, a launcher that cannot start,
// or one that ends with an error (no program for the type, a program that refuses to start).
// The launcher belongs to `context` and goes with it.
void openWithDesktop(const QString& path, QObject* context, std::function<void()> failed);

// The launcher: a program that takes the file as its one argument and reports by its exit
// status (xdg-open). Empty leaves the opening to Qt's desktop services, which only say whether
// they found a launcher. The program sets it at start.
void setDesktopLauncher(const QString& program);

} // namespace quillet::platform
