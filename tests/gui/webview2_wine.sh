#!/usr/bin/env bash
# Which engine shows the cashier page, under Wine on a virtual display (run under xvfb-run).
# A WebView2Loader.dll beside the program decides it:
#   fail  our fake loader refuses at once (a till without a runtime): the WebBrowser control;
#   hang  our fake loader never completes: the WebBrowser control after the start timeout,
#         the window answering meanwhile;
#   real  the SDK's own loader, with no runtime under Wine: the WebBrowser control;
#   ok    our fake loader comes up: the fake page shows the cashier address below the strip,
#         the title follows the page, the page's bounds follow resizes and a maximise, the
#         home action navigates, a new window of the page never reaches the shell, and the
#         close closes the controller and releases every reference.
# The run log names the engine in every case. Screenshots go to the artifact folder.
# Usage: webview2_wine.sh <mode> <quorvel-print.exe> <loader dll> <artifact dir>; needs
# DISPLAY and a WINEPREFIX of this test's own (one instance runs per prefix).
set -u
here=$(dirname "$0")
. "$here/gui_lib.sh"
. "$here/../support/wine_tools.sh"
mode=$1
program=$2
loader=$3
artifacts=$4
work=$(mktemp -d)
program_pid=
cleanup() {
  "$wine" --server -k 2>/dev/null
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
wine_prefix_ready

# The cashier address asks for a new window (the fake page does so for "popup"); nothing
# listens on the discard port, so the start's printer list report fails at once.
page="http://localhost:9/cashierWeb/popup/index.html"
printf '[set]\r\nsid=webview2\r\nserver=127.0.0.1:9\r\naurunpr=0\r\nurl=%s\r\n' "$page" \
  >"$work/config.ini"
cp "$program" "$work/quorvel-print.exe"
cp "$loader" "$work/WebView2Loader.dll"
record=$work/record.txt
export QV_FAKE_WEBVIEW2=$mode QV_FAKE_WEBVIEW2_RECORD="Z:${record//\//\\}"
(cd "$work" && exec "$wine" ./quorvel-print.exe) >"$work/program.log" 2>&1 &
program_pid=$!

# engine_line SECONDS: waits for the run log's engine line and prints it.
engine_line() {
  local line
  for _ in $(seq $(($1 * 5))); do
    line=$(cat "$work"/log/*.log 2>/dev/null | iconv -f GBK -t UTF-8 2>/dev/null |
      grep -a '收银页面的浏览器：' | head -1)
    [ -n "$line" ] && { echo "$line"; return 0; }
    sleep 0.2
  done
  return 1
}

# client_size ID: "width height" of a Wine window's client area (its X window, without a WM).
client_size() {
  xwininfo -id "$1" | awk '/Width:/ {w=$NF} /Height:/ {h=$NF} END {print w, h}'
}

# expect_bounds ID WHAT: the page's last bounds fill the cashier's client area below the
# 50-pixel strip (the host window lies there; the bounds are the host's client area).
expect_bounds() {
  local w h last
  read -r w h < <(client_size "$1")
  for _ in $(seq 25); do
    last=$(grep '^bounds ' "$record" | tail -1)
    [ "$last" = "bounds 0 0 $w $((h - 50))" ] && { echo "$2: page at $last in ${w}x$h"; return 0; }
    sleep 0.2
  done
  fail "$2: the page's last bounds are '$last', the client area ${w}x$h"
}

cashier=$(wait_window '^Tillora' 90) ||
  fail "no cashier window; windows: $(window_list); log: $(cat "$work/program.log")"
shown=$SECONDS  # the page's engine is being chosen since just before the window showed

if [ "$mode" != ok ]; then
  line=$(engine_line 30) || fail "no engine line in the run log; record: $(cat "$record" 2>/dev/null)"
  after=$((SECONDS - shown))
  echo "run log, $after s after the window showed: $line"
  grep -q 'WebBrowser 控件' <<<"$line" || fail "the page is not in the WebBrowser control"
  case "$mode" in
    fail | real) grep -q '没有安装 WebView2 运行时（0x80070002）' <<<"$line" || fail "wrong reason"
                 [ "$after" -le 3 ] || fail "a loader that refused at once kept the page waiting" ;;
    hang) grep -q '8 秒内没有启动完成' <<<"$line" || fail "wrong reason"
          [ "$after" -ge 6 ] || fail "fell back before the start timeout" ;;
  esac
  [ "$mode" = real ] || grep -q "^create mode=$mode userdata=C:\\\\users\\\\.*\\\\AppData\\\\Local\\\\Quorvel打印服务端\\\\WebView2$" "$record" ||
    fail "the loader was not asked with a user-data folder under LocalAppData: $(cat "$record")"
  # The window still answers: its settings action opens 设置.
  width=$(xdotool getwindowgeometry "$cashier" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
  click_at "$cashier" $((width - 8 - 20)) 25
  wait_window '^设置$' 15 >/dev/null || fail "the settings action opened no 设置 window"
  sleep 1
  shot root "$artifacts/webview2-$mode-fallback.png"
  echo "fell back to the WebBrowser control ($mode); screenshot in $artifacts"
  exit 0
fi

line=$(engine_line 30) || fail "no engine line in the run log; record: $(cat "$record")"
echo "run log: $line"
grep -q '收银页面的浏览器：WebView2（运行时 0.0.0.0-fake）' <<<"$line" || fail "not WebView2"
grep -q '^controller parent=QuorvelBrowserHost$' "$record" ||
  fail "the controller is not in the browser's host window: $(cat "$record")"
grep -qxF "navigate $page" "$record" || fail "the cashier address was not navigated: $(cat "$record")"
grep -q '^visible 1$' "$record" || fail "the page was never made visible"
wait_title "$cashier" "Tillora - Fake: $page" 10 ||
  fail "the title did not follow the page: '$(window_title "$cashier")'"
grep -qx 'new-window handled=1' "$record" || fail "the page's new window was not handled"
expect_bounds "$cashier" "at start"
sleep 0.5
shot root "$artifacts/webview2-ok-start.png"

xdotool windowsize "$cashier" 1000 640
expect_bounds "$cashier" "resized to 1000x640"
sleep 0.5
shot root "$artifacts/webview2-ok-resized.png"

# The home action, the button left of 设置 at the right end of the strip.
click_at "$cashier" $((1000 - 110)) 25
home=$(grep -c '^navigate https://.*/cashierWeb/#/pages/index/index$' "$record")
for _ in $(seq 25); do
  [ "$home" -ge 1 ] && break
  sleep 0.2
  home=$(grep -c '^navigate https://.*/cashierWeb/#/pages/index/index$' "$record")
done
[ "$home" -ge 1 ] || fail "the home action navigated nowhere: $(cat "$record")"
wait_title "$cashier" "Tillora - Fake: $(grep '^navigate ' "$record" | tail -1 | cut -d' ' -f2-)" 10 ||
  fail "the title did not follow the home page: '$(window_title "$cashier")'"
sleep 0.5
shot root "$artifacts/webview2-ok-home.png"

# Maximise from the window menu (Alt+Space, then its Maximize item's mnemonic). Without a
# window manager Wine maximises the Windows window but leaves its X window as it was, so the
# page's bounds are checked against the screen: its width, and its height less the strip and
# a caption of at most 40 pixels.
click_at "$cashier" 300 300
xdotool key alt+space
sleep 1
xdotool key x
read -r screen_w screen_h < <(xdotool getdisplaygeometry)
for _ in $(seq 50); do
  read -r _ _ _ right bottom < <(grep '^bounds ' "$record" | tail -1)
  [ "$right" = "$screen_w" ] && break
  sleep 0.2
done
[ "$right" = "$screen_w" ] && [ "$bottom" -le $((screen_h - 50)) ] &&
  [ "$bottom" -ge $((screen_h - 50 - 40)) ] ||
  fail "maximised on a ${screen_w}x$screen_h screen, the page's bounds are $(grep '^bounds ' "$record" | tail -1)"
echo "maximised: page at $(grep '^bounds ' "$record" | tail -1) on a ${screen_w}x$screen_h screen"
shot root "$artifacts/webview2-ok-maximised.png"

click_at "$cashier" 300 300
xdotool key alt+F4
for _ in $(seq 150); do
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.2
done
kill -0 "$program_pid" 2>/dev/null && fail "the program still runs 30 s after its window was closed"
program_pid=
grep -qx 'close' "$record" || fail "the controller was never closed: $(cat "$record")"
grep -qx 'left refs=0 handlers=0' "$record" ||
  fail "references left at the end: $(tail -1 "$record")"
echo "WebView2 (fake): page, title, bounds, home and a clean close; record:"
sed 's/^/  /' "$record"
