#pragma once
// The program's own picture, from the resources built into the binary, so that it does not
// depend on where the program is installed.

#include <QIcon>

namespace quillet::ui {

QIcon programIcon();

} // namespace quillet::ui
