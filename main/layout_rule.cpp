#include "main/layout_rule.h"

#include <algorithm>

namespace quillet::ui::layout {

namespace {
constexpr int kGap = 4;

// A hidden or floating bar takes no room.
int roomWidth(const Bar& bar) { return bar.shown && bar.docked ? bar.width : 0; }
int roomHeight(const Bar& bar) { return bar.shown && bar.docked ? bar.height : 0; }
} // namespace

Result arrange(const Input& in) {
    Result out;
    out.editor.top = in.bandHeight;
    // A window smaller than band and status bar leaves the editor empty, never negative.
    out.editor.height = std::max(0, in.clientHeight - in.bandHeight - in.statusHeight);
    if (!in.command.docked && !in.markup.docked) {
        out.editor.width = std::max(0, in.clientWidth);
        return out;
    }

    out.editor.width =
        std::max(0, in.clientWidth - 2 * kGap - std::max(roomWidth(in.command), roomWidth(in.markup)));
    const int left = out.editor.width + kGap;
    const int top = out.editor.top + kGap;
    if (in.command.docked && in.markup.docked) {
        // Equal tops put the markup bar above.
        const bool commandAbove = in.command.top < in.markup.top;
        const Bar& upper = commandAbove ? in.command : in.markup;
        const Spot upperSpot{left, top};
        const Spot lowerSpot{left, out.editor.top + 2 * kGap + roomHeight(upper)};
        out.command = commandAbove ? upperSpot : lowerSpot;
        out.markup = commandAbove ? lowerSpot : upperSpot;
    } else if (in.command.docked) {
        out.command = Spot{left, top};
    } else {
        out.markup = Spot{left, top};
    }
    return out;
}

} // namespace quillet::ui::layout
