#pragma once
// The terminal a command-line run may have: whether a person watches standard error, and a
// secret typed without echo.

#include <optional>
#include <string>

namespace quillet::platform {

// Standard error is a terminal: a progress line is for a person watching, not for a log.
bool stderrIsTerminal();

// Writes the prompt to the controlling terminal and reads one line from it with echo off; the
// terminal's settings are restored afterwards. Nothing when the process has no terminal.
std::optional<std::string> readSecretFromTerminal(const std::string& prompt);

} // namespace quillet::platform
