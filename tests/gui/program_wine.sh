#!/usr/bin/env bash
# The whole Windows program under Wine on a virtual display (run under xvfb-run): the cashier
# window "Tillora" and its settings action in the window menu and as a button of the strip
# above the page, "设置", its status button bringing up "打印服务", whose "打印设置" opens "设置",
# whose autostart question keeps 打印服务 from closing under it; the start button of 打印服务
# starts polling the loopback cloud over HTTPS (with the test CA) and its "打印设置" opens
# "设置" again; closing the cashier window ends the program. Screenshots of each window go to
# the artifact folder.
# Usage: program_wine.sh <quorvel-print.exe> <artifact dir> <Wine prefix>; needs
# QV_TEST_HTTPS_DIR (the test server's state folder) and DISPLAY.
# The prefix is this test's own: the single-instance rule holds per prefix, so another test
# running the program in a shared prefix would make ours the refused second instance.
set -u
here=$(dirname "$0")
. "$here/gui_lib.sh"
tab_top=25
. "$here/../support/wine_tools.sh"
program=$1
artifacts=$2
export WINEPREFIX=$3
work=$(mktemp -d)
cleanup() {
  "$wine" --server -k 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
wine_prefix_ready

read -r https_port http_port <"$QV_TEST_HTTPS_DIR/ports"
cloud="https://localhost:$https_port"
store="guiwine$$"
curl -sk -X POST "$cloud/__cloud/open?store=$store" >/dev/null || fail "test server not reachable"
ca_file="Z:$(realpath "$QV_TEST_HTTPS_DIR/ca.pem" | tr / '\\')"

cp "$program" "$work/quorvel-print.exe"
printf '[set]\r\nsid=%s\r\nserver=localhost:%s\r\nca_file=%s\r\naurunpr=0\r\ntime=1\r\nurl=%s\r\n' \
  "$store" "$https_port" "$ca_file" "http://localhost:$http_port/html/utf-8" >"$work/config.ini"
cd "$work"
"$wine" ./quorvel-print.exe >"$work/program.log" 2>&1 &
program_pid=$!

cashier=$(wait_window '^Tillora' 90) ||
  fail "no cashier window; windows: $(window_list); log: $(cat "$work/program.log")"
splash=$(wait_window '^同步数据中$' 10) || fail "no splash window"
echo "cashier window: '$(window_title "$cashier")'"
sleep 4  # past the splash's third tick (the printer list report); the splash stays
shot "$cashier" "$artifacts/wine-cashier.png"
shot "$splash" "$artifacts/wine-splash.png"
shot root "$artifacts/wine-screen-start.png"  # window shots show windows above them as black

# The settings and home actions are items of the cashier's window menu (Alt+Space) ...
click_at "$cashier" 300 600
xdotool key alt+space
sleep 1
shot root "$artifacts/wine-cashier-window-menu.png"
xdotool key Escape
# ... and buttons at the right end of the strip above the page: "设置" the rightmost, its
# right edge 8 pixels in from the client area's, its top 8 down. Without a window manager the
# X window of a Wine window is its client area.
width=$(xdotool getwindowgeometry "$cashier" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
click_at "$cashier" $((width - 8 - 20)) 25
autostart_entry() {
  for root in HKLM HKCU; do
    "$wine" reg query "$root\\Software\\Microsoft\\Windows\\CurrentVersion\\Run" 2>/dev/null
  done | grep -q 'quorvel-print.exe" auto'
}
before_service_start() { expect_question_keeps_windows "$1" wine; }
settings_service_round wine 30

# Closing the cashier window shows the exit notice and ends the program once idle.
click_at "$cashier" 300 600
xdotool key alt+F4
start=$SECONDS
sleep 0.5
shot root "$artifacts/wine-screen-closing.png"
for _ in $(seq 100); do
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.2
done
# Without a window manager Wine waits 2 s for each window it hides to be withdrawn, so the
# end comes several seconds after the exit timer's first tick.
kill -0 "$program_pid" 2>/dev/null && fail "the program still runs 20 s after its window was closed"
echo "the program ended $((SECONDS - start)) s after the close; screenshots in $artifacts"
