#!/usr/bin/env bash
# The Windows program under Wine on a small screen (run under xvfb-run with a 1024 x 768
# screen): the cashier window, laid out for 1280 x 800, opens maximised instead of reaching
# past the screen's edges, and the "设置" button of the strip above its page opens "设置" on
# it. Screenshots go to the artifact folder.
# Usage: small_screen_wine.sh <quorvel-print.exe> <artifact dir>; needs DISPLAY and
# WINEPREFIX (a prefix of this test's own: one instance runs per prefix).
set -u
here=$(dirname "$0")
. "$here/gui_lib.sh"
program=$1
artifacts=$2
work=$(mktemp -d)
cleanup() {
  wineserver -k 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Nothing listens on the discard port: the start's printer list report fails at once.
cp "$program" "$work/quorvel-print.exe"
printf '[set]\r\nsid=smallscreen2\r\nserver=127.0.0.1:9\r\naurunpr=0\r\nurl=about:blank\r\n' \
  >"$work/config.ini"
(cd "$work" && exec wine ./quorvel-print.exe) >"$work/program.log" 2>&1 &

cashier=$(wait_window '^Tillora' 90) ||
  fail "no cashier window; windows: $(window_list); log: $(cat "$work/program.log")"
sleep 2
expect_fills_screen "$cashier" "the cashier window"
shot root "$artifacts/wine-small-screen.png"

# "设置" is the rightmost button of the strip, its right edge 8 pixels in from the client
# area's, its top 8 down. Without a window manager the X window of a Wine window is its client
# area.
width=$(xdotool getwindowgeometry "$cashier" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
click_at "$cashier" $((width - 8 - 20)) 25
wait_window '^设置$' 15 >/dev/null || fail "the strip's 设置 button opened no 设置 window"
sleep 1
shot root "$artifacts/wine-small-screen-config.png"
echo "the cashier window fills the small screen; screenshots in $artifacts"
