#!/usr/bin/env bash
# The GTK program on a small screen (run under xvfb-run with a 1024 x 768 screen): the cashier
# window, laid out for 1280 x 800, opens filling the screen instead of reaching past its edges,
# and its settings action in the header bar opens "设置" on it. Screenshots go to the artifact
# folder.
# Usage: small_screen_gtk.sh <quorvel-print> <artifact dir>; needs DISPLAY.
set -u
here=$(dirname "$0")
. "$here/gui_lib.sh"
program=$1
artifacts=$2
work=$(mktemp -d)
program_pid=
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# A lock and a configuration folder of the test's own (see program_gtk.sh).
export XDG_RUNTIME_DIR="$work/xdg"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export XDG_CONFIG_HOME="$work/config"

# Nothing listens on the discard port: the start's printer list report fails at once.
mkdir "$work/run"
cp "$program" "$work/run/quorvel-print"
printf '[set]\nsid=smallscreen1\nserver=127.0.0.1:9\naurunpr=0\nurl=about:blank\n' \
  >"$work/run/config.ini"
(cd "$work/run" && exec ./quorvel-print) >"$work/program.log" 2>&1 &
program_pid=$!

cashier=$(wait_window '^Tillora' 60) ||
  fail "no cashier window; windows: $(window_list); log: $(cat "$work/program.log")"
sleep 1
expect_fills_screen "$cashier" "the cashier window"
shot root "$artifacts/gtk-small-screen.png"

# The header bar holds, from the right: close, maximize, minimize, "设置", "首页".
width=$(xdotool getwindowgeometry "$cashier" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
click_at "$cashier" $((width - 167)) 26
wait_window '^设置$' 15 >/dev/null || fail "the settings action opened no 设置 window"
sleep 0.5
shot root "$artifacts/gtk-small-screen-config.png"
echo "the cashier window fills the small screen; screenshots in $artifacts"
