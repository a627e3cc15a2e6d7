#pragma once
// The pointer's left button as the desktop sees it. While the window manager drags a window
// by its title bar, the program gets no mouse events, so it has to ask.

namespace quillet::platform {

// On X11 the server is asked; elsewhere (and in tests) Qt's own idea of the buttons counts.
bool leftButtonDown();

} // namespace quillet::platform
