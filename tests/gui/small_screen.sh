#!/usr/bin/env bash
# The program on a small screen (run under xvfb-run with a 1024 x 768 screen), in GTK windows
# or under Wine: the cashier window, laid out for 1280 x 800, opens filling the screen instead
# of reaching past its edges, and its settings action (a header-bar button in GTK, a button of
# the strip above the page on Windows) opens "设置" on it. Screenshots go to the artifact
# folder.
# Usage: small_screen.sh gtk|wine <program> <artifact dir>; needs DISPLAY, and for wine a
# WINEPREFIX of this test's own (one instance runs per prefix).
set -u
here=$(dirname "$0")
. "$here/gui_lib.sh"
. "$here/../support/wine_tools.sh"
kind=$1
program=$2
artifacts=$3
work=$(mktemp -d)
program_pid=
cleanup() {
  [ "$kind" = wine ] && "$wine" --server -k 2>/dev/null
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Nothing listens on the discard port: the start's printer list report fails at once.
printf '[set]\r\nsid=smallscreen\r\nserver=127.0.0.1:9\r\naurunpr=0\r\nurl=about:blank\r\n' \
  >"$work/config.ini"
if [ "$kind" = wine ]; then
  wine_prefix_ready
  cp "$program" "$work/quorvel-print.exe"
  (cd "$work" && exec "$wine" ./quorvel-print.exe) >"$work/program.log" 2>&1 &
else
  # A lock and a configuration folder of the test's own (see program_gtk.sh).
  export XDG_RUNTIME_DIR="$work/xdg" XDG_CONFIG_HOME="$work/config"
  mkdir -m 700 "$XDG_RUNTIME_DIR"
  cp "$program" "$work/quorvel-print"
  (cd "$work" && exec ./quorvel-print) >"$work/program.log" 2>&1 &
fi
program_pid=$!

cashier=$(wait_window '^Tillora' 90) ||
  fail "no cashier window; windows: $(window_list); log: $(cat "$work/program.log")"
sleep 2
expect_fills_screen "$cashier" "the cashier window"
shot root "$artifacts/$kind-small-screen.png"

width=$(xdotool getwindowgeometry "$cashier" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
if [ "$kind" = wine ]; then
  # "设置" is the rightmost button of the strip, its right edge 8 pixels in from the client
  # area's, its top 8 down. Without a window manager Wine's X window is the client area.
  click_at "$cashier" $((width - 8 - 20)) 25
else
  # The header bar holds, from the right: close, maximize, minimize, "设置", "首页".
  click_at "$cashier" $((width - 167)) 26
fi
wait_window '^设置$' 15 >/dev/null || fail "the settings action opened no 设置 window"
sleep 1
shot root "$artifacts/$kind-small-screen-config.png"
echo "the cashier window fills the small screen; screenshots in $artifacts"
