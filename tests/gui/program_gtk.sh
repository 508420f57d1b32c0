#!/usr/bin/env bash
# The whole program in real GTK/WebKitGTK windows (run under xvfb-run): the cashier window
# follows the page's title, the settings action opens "设置", its status button brings up
# "打印服务", whose settings button opens "设置", whose autostart question keeps 打印服务 from
# closing under it; the start button of 打印服务 starts polling the loopback cloud and its
# settings button opens "设置" again. Screenshots of each window go to the artifact folder.
# Usage: program_gtk.sh <quorvel-print> <artifact dir>; needs QV_TEST_HTTPS_DIR (the test
# server's state folder) and DISPLAY.
set -u
here=$(dirname "$0")
. "$here/gui_lib.sh"
tab_top=23
program=$1
artifacts=$2
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# The single-instance lock lives in XDG_RUNTIME_DIR: a private one keeps other tests that run
# the program at the same time from counting as our first instance.
export XDG_RUNTIME_DIR="$work/xdg"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# The autostart entry goes to a configuration folder of the test's own.
export XDG_CONFIG_HOME="$work/config"

read -r https_port _ <"$QV_TEST_HTTPS_DIR/ports"
cloud="https://localhost:$https_port"
store="guigtk$$"
curl -sk -X POST "$cloud/__cloud/open?store=$store" >/dev/null || fail "test server not reachable"

# The cashier page, served on loopback, with a Chinese title.
mkdir "$work/site"
printf '<!doctype html><html><head><meta charset="utf-8"><title>收银台 测试页</title></head><body><h1>收银台</h1></body></html>' >"$work/site/index.html"
python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$work/site" >"$work/http.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do
  web_port=$(sed -n 's/.*port \([0-9]*\).*/\1/p' "$work/http.log" | head -1)
  [ -n "$web_port" ] && break
  sleep 0.1
done
[ -n "$web_port" ] || fail "page server did not start: $(cat "$work/http.log")"

mkdir "$work/run"
cp "$program" "$work/run/quorvel-print"
cat >"$work/run/config.ini" <<INI
[set]
sid=$store
server=localhost:$https_port
ca_file=$QV_TEST_HTTPS_DIR/ca.pem
aurunpr=0
time=1
url=http://127.0.0.1:$web_port/index.html
INI
cd "$work/run"
./quorvel-print >"$work/program.log" 2>&1 &
program_pid=$!
pids+=($program_pid)

cashier=$(wait_window '^Tillora' 60) ||
  fail "no cashier window; windows: $(window_list); log: $(cat "$work/program.log")"
wait_title "$cashier" "Tillora - 收银台 测试页" 30 ||
  fail "cashier title is '$(window_title "$cashier")', not 'Tillora - ' and the page's title"
xdotool search --onlyvisible --name '^quorvel-print$' >/dev/null &&
  fail "a visible window is named after the program"
sleep 1  # let WebKit paint the page
shot "$cashier" "$artifacts/gtk-cashier.png"
shot root "$artifacts/gtk-screen-start.png"  # window shots show windows above them as black

# The header bar holds, from the right: close, maximize, minimize, "设置", "首页".
width=$(xdotool getwindowgeometry "$cashier" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
click_at "$cashier" $((width - 167)) 26
autostart_entry() { [ -f "$XDG_CONFIG_HOME/autostart/quorvel-print.desktop" ]; }
before_service_start() { expect_question_keeps_windows "$1" gtk; }
settings_service_round gtk 20

# Closing the cashier window ends the program once no poll or print is under way.
click_at "$cashier" $((width - 28)) 26
start=$SECONDS
for _ in $(seq 50); do
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.2
done
kill -0 "$program_pid" 2>/dev/null && fail "the program still runs 10 s after its window was closed"
echo "the program ended $((SECONDS - start)) s after the close"

# With aurunpr=1 the splash's third tick opens the service window, which starts the service
# and goes to the tray, and the splash goes away.
sed -i 's/^aurunpr=0$/aurunpr=1/' config.ini
./quorvel-print >"$work/program.log" 2>&1 &
program_pid=$!
pids+=($program_pid)
cashier=$(wait_window '^Tillora' 60) || fail "no cashier window at the second start"
before=$(curl -sk "$cloud/__cloud/waits?store=$store")
wait_gone '^同步数据中$' 15 || fail "the splash stayed with aurunpr=1"
waits=$(wait_count "$cloud/__cloud/waits?store=$store" $((before + 2)) 20) ||
  fail "aurunpr=1 did not start the service (wait requests: $before, then $waits)"
xdotool search --onlyvisible --name '^打印服务$' >/dev/null && fail "the auto-run service window stayed up"
shot root "$artifacts/gtk-screen-autorun.png"
kill "$program_pid"
echo "auto-run started polling without a window; screenshots in $artifacts"
