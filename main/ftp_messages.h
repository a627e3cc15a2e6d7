#pragma once
// What the window says about a connect, while it waits and when it did not end connected: in
// Japanese, what happened and what to do. The network layer's exceptions carry its English
// texts; of those only a server's own reply line is quoted.

#include <QString>
#include <exception>

#include "main/texts.h"

namespace quillet::ui {

// `canceled`: the author stopped the connect.
QString connectFailure(std::exception_ptr error, bool canceled);

} // namespace quillet::ui
