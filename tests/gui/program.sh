#!/usr/bin/env bash
# The whole program in real windows on a virtual display (run under xvfb-run), in GTK/WebKitGTK
# or under Wine: the cashier window ("Tillora", in GTK followed by the page's title; under
# Wine with its splash, and its settings action in the window menu as well as a button of the
# strip above the page) opens "设置"; its status button brings up "打印服务", whose settings
# button opens "设置", whose autostart question keeps 打印服务 from closing under it; the start
# button of 打印服务 starts polling the loopback cloud over HTTPS (with the test CA) and its
# settings button opens "设置" again; closing the cashier window ends the program. In GTK a
# second start with aurunpr=1 starts the service from the tray. Screenshots of each window go
# to the artifact folder.
# Usage: program.sh gtk|wine <quorvel-print[.exe]> <artifact dir> [<Wine prefix>]; needs
# QV_TEST_HTTPS_DIR (the test server's state folder) and DISPLAY. The Wine prefix is this
# test's own: the single-instance rule holds per prefix, so another test running the program
# in a shared prefix would make ours the refused second instance.
set -u
here=$(dirname "$0")
backend=$1
program=$2
artifacts=$3
[ "$backend" = wine ] && export WINEPREFIX=$4
. "$here/gui_lib.sh"
. "$here/newcomer_lib.sh"
. "$here/backend.sh"

read -r https_port http_port <"$QV_TEST_HTTPS_DIR/ports"
cloud="https://localhost:$https_port"
store="gui$backend$$"
curl -sk -X POST "$cloud/__cloud/open?store=$store" >/dev/null || fail "test server not reachable"

# The cashier page with a Chinese title: one of our own on loopback for WebKitGTK; under Wine,
# which has no engine to show it, the test server's.
if [ "$backend" = gtk ]; then start_page "收银台 测试页"; else page_url="http://localhost:$http_port/html/utf-8"; fi

mkdir "$work/run"
printf '[set]\r\nsid=%s\r\nserver=localhost:%s\r\nca_file=%s\r\naurunpr=0\r\ntime=1\r\nurl=%s\r\n' \
  "$store" "$https_port" "$(program_path "$(realpath "$QV_TEST_HTTPS_DIR/ca.pem")")" "$page_url" \
  >"$work/run/config.ini"
start_program "$work/run"

cashier=$(wait_window '^Tillora' $patience) ||
  fail "no cashier window; windows: $(window_list); log: $(cat "$work/program.log")"
width=$(xdotool getwindowgeometry "$cashier" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
if [ "$backend" = gtk ]; then
  wait_title "$cashier" "Tillora - 收银台 测试页" 30 ||
    fail "cashier title is '$(window_title "$cashier")', not 'Tillora - ' and the page's title"
  xdotool search --onlyvisible --name '^quorvel-print$' >/dev/null &&
    fail "a visible window is named after the program"
  sleep 1  # let WebKit paint the page
  shot "$cashier" "$artifacts/gtk-cashier.png"
  shot root "$artifacts/gtk-screen-start.png"  # window shots show windows above them as black
  # The header bar holds, from the right: close, maximize, minimize, "设置", "首页".
  click_at "$cashier" $((width - 167)) 26
  autostart_entry() { [ -f "$XDG_CONFIG_HOME/autostart/quorvel-print.desktop" ]; }
  poll_seconds=20
else
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
  # right edge 8 pixels in from the client area's, its top 8 down. Without a window manager
  # the X window of a Wine window is its client area.
  click_at "$cashier" $((width - 8 - 20)) 25
  autostart_entry() {
    for root in HKLM HKCU; do
      "$wine" reg query "$root\\Software\\Microsoft\\Windows\\CurrentVersion\\Run" 2>/dev/null
    done | grep -q 'quorvel-print.exe" auto'
  }
  poll_seconds=30
fi
before_service_start() { expect_question_keeps_windows "$1" "$backend"; }
settings_service_round "$backend" $poll_seconds

# Closing the cashier window ends the program once no poll or print is under way; under Wine
# it shows the exit notice first.
if [ "$backend" = gtk ]; then
  click_at "$cashier" $((width - 28)) 26  # the header bar's close button
  end_seconds=10
else
  click_at "$cashier" 300 600
  xdotool key alt+F4
  sleep 0.5
  shot root "$artifacts/wine-screen-closing.png"
  # Without a window manager Wine waits 2 s for each window it hides to be withdrawn, so the
  # end comes several seconds after the exit timer's first tick.
  end_seconds=20
fi
start=$SECONDS
for _ in $(seq $((end_seconds * 5))); do
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.2
done
kill -0 "$program_pid" 2>/dev/null && fail "the program still runs $end_seconds s after its window was closed"
echo "the program ended $((SECONDS - start)) s after the close"

# With aurunpr=1 the splash's third tick opens the service window, which starts the service
# and goes to the tray, and the splash goes away.
if [ "$backend" = gtk ]; then
  sed -i 's/^aurunpr=0/aurunpr=1/' "$work/run/config.ini"
  start_program "$work/run"
  cashier=$(wait_window '^Tillora' 60) || fail "no cashier window at the second start"
  before=$(curl -sk "$cloud/__cloud/waits?store=$store")
  wait_gone '^同步数据中$' 15 || fail "the splash stayed with aurunpr=1"
  waits=$(wait_count "$cloud/__cloud/waits?store=$store" $((before + 2)) 20) ||
    fail "aurunpr=1 did not start the service (wait requests: $before, then $waits)"
  xdotool search --onlyvisible --name '^打印服务$' >/dev/null && fail "the auto-run service window stayed up"
  shot root "$artifacts/gtk-screen-autorun.png"
  echo "auto-run started polling without a window"
fi
echo "screenshots in $artifacts"
