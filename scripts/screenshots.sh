#!/usr/bin/env bash
# Renews the screenshots in docs/: the real program on a virtual display, first as it starts
# (both tool bars floating at the window's right), then with both bars dragged into the window
# by the pointer, the command bar above the markup bar.
#
#   scripts/screenshots.sh            builds build/release if needed and writes docs/*.png
#   QUILLET_BUILD_DIR=dir scripts/screenshots.sh    uses another build folder
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath -m "${QUILLET_BUILD_DIR:-build/release}")

if [ "${1:-}" != --on-display ]; then
  . scripts/deps.sh
  quillet_ensure_packages xdotool imagemagick x11-utils openbox
  if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLET_TESTS=OFF >/dev/null
  fi
  cmake --build "$build" --target quillet
  mkdir -p docs
  QUILLET_BUILD_DIR=$build exec xvfb-run -a -s "-screen 0 1024x640x24" "$0" --on-display
fi

# From here on, on the virtual display.
work=$(mktemp -d)
pid=
wm=
trap 'kill $pid $wm 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
convert -size 8x8 xc:'#4a6f8f' "$work/desktop.png"
display -window root "$work/desktop.png" || true # it sets the background, then reports failure
# A window manager, so the windows have their title bars as on a desktop.
openbox --sm-disable --config-file /dev/null >/dev/null 2>&1 &
wm=$!
sleep 1
cd "$work" # the program takes "index.html" relative to where it starts; it reads nothing at start
HOME=$work "$build/main/quillet" &
pid=$!
cd "$root"

# Waits for a top-level window with exactly this name and prints its id.
window() { xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1; }
# Prints "x y width height" of a window's client area on the screen.
geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
    /Width:/{w=$NF} /Height:/{h=$NF} END{print x, y, w, h}'
}
# The same with the window manager's frame.
frame() {
  local x y w h l r t b
  read -r x y w h < <(geometry "$1")
  read -r l r t b < <(xprop -id "$1" _NET_FRAME_EXTENTS | sed -n 's/.*= //p' | tr -d ,)
  echo $((x - ${l:-0})) $((y - ${t:-0})) $((w + ${l:-0} + ${r:-0})) $((h + ${t:-0} + ${b:-0}))
}
# Grabs the screen around the given windows, with a margin of the desktop.
shoot() {
  local out=$1; shift
  local x0=100000 y0=100000 x1=0 y1=0 id x y w h
  for id in "$@"; do
    read -r x y w h < <(frame "$id")
    ((x < x0)) && x0=$x; ((y < y0)) && y0=$y
    ((x + w > x1)) && x1=$((x + w)); ((y + h > y1)) && y1=$((y + h))
  done
  local m=12
  import -window root -crop "$((x1 - x0 + 2 * m))x$((y1 - y0 + 2 * m))+$((x0 - m))+$((y0 - m))" +repage \
    -strip "$out"
  echo "wrote $out"
}
# Takes a floating bar by its grip (the dotted strip along its foot) and lets go at x, y.
drag_bar() {
  local id=$1 to_x=$2 to_y=$3 x y w h step
  read -r x y w h < <(geometry "$id")
  local from_x=$((x + 20)) from_y=$((y + h - 5))
  xdotool mousemove "$from_x" "$from_y" mousedown 1
  for step in 1 2 3 4 5 6; do
    xdotool mousemove $((from_x + (to_x - from_x) * step / 6)) $((from_y + (to_y - from_y) * step / 6))
    sleep 0.05
  done
  xdotool mouseup 1
  sleep 0.5
}

main=$(window Quillet)
command_bar=$(window 'ﾊﾟﾈﾙ1')
markup_bar=$(window 'ﾊﾟﾈﾙ2')
sleep 1.5 # the bars take their places again once the windows are framed
shoot docs/window-floating.png "$main" "$command_bar" "$markup_bar"

read -r mx my _ _ < <(geometry "$main")
drag_bar "$command_bar" $((mx + 200)) $((my + 130))
drag_bar "$markup_bar" $((mx + 200)) $((my + 400))
sleep 0.5
shoot docs/window-docked.png "$main"
