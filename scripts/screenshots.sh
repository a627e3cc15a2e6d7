#!/usr/bin/env bash
# Renews the screenshots in docs/: the real program on a virtual display under a window manager,
# driven by the pointer and the keyboard through every window and dialog:
#   window-floating.png      as it starts, both tool bars floating at the window's right
#   help-window.png          "使い方"
#   about-box.png            the picture button's box
#   list-dialog.png          "箇条" on the markup bar
#   font-dialog.png          "ﾌｫﾝﾄ" on the markup bar
#   colour-chooser.png       the font dialog's colour button (Qt's chooser)
#   file-chooser.png         "..." beside the page name (Qt's chooser)
#   new-page-question.png    a new page name given there
#   new-page-encoding.png    the new page's encoding, asked next
#   page-colours-dialog.png  the colours of the new page
#   insertion-point-dialog.png  a page without the insertion marker
#   preview-failed.png       "ブラウザで確認" where no browser can be started
#   connect-failed.png       "接続" to a port where no server listens
#   site-dialog.png          the site list with a site clicked
#   upload-progress.png      an upload under way to a slow local FTP server
#   window-docked.png        both bars docked: the command bar by its grip, the markup bar
#                            dragged by its window's title bar
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
  QUILLET_BUILD_DIR=$build exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --on-display
fi

# From here on, on the virtual display.
work=$(mktemp -d)
pid=
wm=
ftp=
trap 'kill $pid $ftp $wm 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
convert -size 8x8 xc:'#4a6f8f' "$work/desktop.png"
display -window root "$work/desktop.png" || true # it sets the background, then reports failure
# A window manager, so the windows have their title bars as on a desktop; its defaults.
echo '<openbox_config xmlns="http://openbox.org/3.4/rc"/>' >"$work/openbox.xml"
openbox --sm-disable --config-file "$work/openbox.xml" >/dev/null 2>&1 &
wm=$!

# A slow local FTP server (32 KB/s), so an upload is caught under way.
mkdir -p "$work/site" "$work/app"
/usr/bin/python3 - "$work/site" "$work/ftp.port" >/dev/null 2>&1 <<'EOF' &
import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer
users = DummyAuthorizer()
users.add_user("author", "secret", sys.argv[1], perm="elradfmw")
ThrottledDTPHandler.read_limit = ThrottledDTPHandler.write_limit = 32 * 1024
FTPHandler.authorizer = users
FTPHandler.dtp_handler = ThrottledDTPHandler
server = FTPServer(("127.0.0.1", 0), FTPHandler)
open(sys.argv[2], "w").write(str(server.socket.getsockname()[1]))
server.serve_forever()
EOF
ftp=$!
for _ in $(seq 50); do [ -s "$work/ftp.port" ] && break; sleep 0.1; done
# A port where nothing listens: bound for a moment and let go.
closed=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')

# The program in a folder of its own, so its settings file lies beside it; two sites in it.
cp "$build/main/quillet" "$build"/main/quillet-*.so "$work/app/"
printf '"私のサイト","127.0.0.1","%s","author","secret","","",""\r\n"閉じたポート","127.0.0.1","%s","author","","","",""\r\n' \
  "$(cat "$work/ftp.port")" "$closed" | iconv -f UTF-8 -t CP932 >"$work/app/quillet.ini"
# A page of about 2 MB (so the upload takes a while) and one without the insertion marker.
{
  printf '<HTML>\r\n<HEAD><META HTTP-EQUIV="Content-Type" CONTENT="text/html; charset=x-sjis"></HEAD>\r\n<BODY>\r\n<!-INS-!>\r\n'
  for i in $(seq 80000); do printf '<!-BDY-A-!>\r\nentry %s: the text of an older entry, long enough to fill a line\r\n<!-BDY-B-!><HR>\r<!-END-!>\r\n' "$i"; done
  printf '</BODY>\r\n</HTML>\r\n'
} >"$work/index.html"
printf '<HTML>\r\n<BODY>\r\n<H1>Diary</H1>\r\n<P>first</P>\r\n</BODY>\r\n</HTML>\r\n' >"$work/plain.html"
sleep 1
cd "$work" # the program takes "index.html" relative to where it starts
HOME=$work PATH=/usr/bin:/bin "$work/app/quillet" &
pid=$!
cd "$root"

# Waits for a visible top-level window whose name matches and prints its id.
window() { xdotool search --sync --onlyvisible --name "$1" | head -n 1; }
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
  sleep 0.5
  for id in "$@"; do
    read -r x y w h < <(frame "$id")
    ((x < x0)) && x0=$x; ((y < y0)) && y0=$y
    ((x + w > x1)) && x1=$((x + w)); ((y + h > y1)) && y1=$((y + h))
  done
  local m=12
  ((x0 < m)) && x0=$m; ((y0 < m)) && y0=$m
  import -window root -crop "$((x1 - x0 + 2 * m))x$((y1 - y0 + 2 * m))+$((x0 - m))+$((y0 - m))" +repage \
    -strip "$out"
  echo "wrote $out"
}
# Clicks at a point of a window's client area.
click() {
  local x y w h
  read -r x y w h < <(geometry "$1")
  xdotool mousemove $((x + $2)) $((y + $3)) click 1
  sleep 0.3
}
key() { xdotool key --clearmodifiers "$@"; sleep 0.3; }
type_text() { xdotool type --delay 20 "$1"; sleep 0.2; }
# Presses at a screen point, moves to another in steps and lets go.
drag() {
  local from_x=$1 from_y=$2 to_x=$3 to_y=$4 step
  xdotool mousemove "$from_x" "$from_y" mousedown 1
  for step in 1 2 3 4 5 6 7 8; do
    xdotool mousemove $((from_x + (to_x - from_x) * step / 8)) $((from_y + (to_y - from_y) * step / 8))
    sleep 0.05
  done
  sleep 0.2
  xdotool mouseup 1
  sleep 0.8
}

main=$(window '^Quillet$')
command_bar=$(window '^ﾊﾟﾈﾙ1$')
markup_bar=$(window '^ﾊﾟﾈﾙ2$')
sleep 1.5 # the bars take their places again once the windows are framed
shoot docs/window-floating.png "$main" "$command_bar" "$markup_bar"

click "$main" 314 85 # 使い方
shoot docs/help-window.png "$(window '^Quilletの使い方$')"
click "$main" 314 85

click "$main" 410 85 # the picture button
about=$(window '^Quillet の作者$')
shoot docs/about-box.png "$about"
click "$about" 150 60

click "$markup_bar" 94 64 # 箇条
shoot docs/list-dialog.png "$(window '^箇条書きの設定$')"
key Escape

click "$markup_bar" 130 64 # ﾌｫﾝﾄ
font=$(window '^フォントの設定$')
shoot docs/font-dialog.png "$font"
click "$font" 156 18 # the colour button
shoot docs/colour-chooser.png "$(window '^色を選択$')"
key Escape
key Escape

# Choosing a page: a new name, then a page without the insertion marker, then the page itself.
choose_page() {
  click "$main" 188 14 # "..."
  sleep 0.5
  local chooser
  chooser=$(window '^開く$')
  [ -n "${2:-}" ] && shoot "$2" "$chooser"
  type_text "$1"
  key Return
}
choose_page new.html docs/file-chooser.png
shoot docs/new-page-question.png "$(window '^確認$')"
key Return # はい
shoot docs/new-page-encoding.png "$(window '^確認$')"
key Return # Shift-JIS
shoot docs/page-colours-dialog.png "$(window '^FormColor$')"
key Escape # it has no buttons; closing it takes the colours as shown
choose_page plain.html
shoot docs/insertion-point-dialog.png "$(window '^書き込み開始位置の設定$')"
key Escape
choose_page index.html

click "$command_bar" 76 111 # ブラウザで確認
shoot docs/preview-failed.png "$main"

click "$command_bar" 43 135 # 接続
sites=$(window '^接続先をｸﾘｯｸしてください or ESC$')
click "$sites" 60 28 # the second site
key Return
sleep 1
shoot docs/connect-failed.png "$main"

click "$command_bar" 43 135
sites=$(window '^接続先をｸﾘｯｸしてください or ESC$')
click "$sites" 60 9 # the first site: the details open below the list
sleep 1
shoot docs/site-dialog.png "$sites"
key Return
sleep 1
click "$main" 363 14 # ｻｲﾄ上の文書名
type_text index.html
click "$command_bar" 76 159 # サイトにアップロード
sleep 3
shoot docs/upload-progress.png "$main"
key Escape
sleep 0.5
click "$command_bar" 109 135 # 切断

# The command bar by its grip, the markup bar by its window's title bar.
read -r mx my _ _ < <(geometry "$main")
read -r x y w h < <(geometry "$command_bar")
drag $((x + 20)) $((y + h - 5)) $((mx + 200)) $((my + 130))
read -r x y w h < <(geometry "$markup_bar")
drag $((x + 40)) $((y - 10)) $((mx + 200)) $((my + 400))
sleep 0.5
shoot docs/window-docked.png "$main"
