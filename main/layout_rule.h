#pragma once
// Where the body editor and the docked tool bars go in the main window's client area. Pure
// arithmetic, so every case of the rule is tested without a window.

#include <optional>

namespace quillet::ui::layout {

struct Bar {
    bool shown = true;
    bool docked = false;
    int width = 0;
    int height = 0;
    int top = 0; // current top inside the window while docked
};

struct Box {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Box&) const = default;
};

struct Spot {
    int left = 0;
    int top = 0;
    bool operator==(const Spot&) const = default;
};

struct Input {
    int clientWidth = 0;
    int clientHeight = 0;
    int bandHeight = 0;   // the fixed band across the top
    int statusHeight = 0; // the status bar at the bottom
    Bar command;
    Bar markup;
};

struct Result {
    Box editor;
    // Set for a docked bar (shown or hidden), empty for a floating one.
    std::optional<Spot> command;
    std::optional<Spot> markup;
};

Result arrange(const Input& in);

} // namespace quillet::ui::layout
