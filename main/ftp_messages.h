#pragma once
// The window says what a connect says on the command line.

#include "commands/connect_failure.h"
#include "main/texts.h"

namespace quillet::ui {
using commands::connectFailure;
}
