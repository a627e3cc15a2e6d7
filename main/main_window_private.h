#pragma once
// Shared by the units that implement TFormQuillet's handlers.

#include <QAbstractButton>
#include <QToolButton>

#include "main/main_window.h"
#include "platform/prompter.h"

namespace quillet::ui {

template <class F> void TFormQuillet::onClick(QAbstractButton* button, F handler) {
    connect(button, &QAbstractButton::clicked, this,
            [this, handler] { platform::runCommand(this, handler); });
}

// Shows the page's encoding again when a command that may have replaced the page ends, however
// it ends.
struct EncodingShownAfter {
    TFormQuillet* window;
    ~EncodingShownAfter() { window->showPageEncoding(); }
};

} // namespace quillet::ui
