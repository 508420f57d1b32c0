#!/usr/bin/env bash
# The printer alert on Linux: the program's tray icon hands it to the desktop's notification
# service over the session bus, here dunst on a session bus of the test's own; the test checks
# that the service shows exactly one notification with the alert's words and takes a
# screenshot of it.
# Usage: tray_alert_gtk.sh <program> <artifact dir>; needs DISPLAY.
set -eu
if [ "${1:-}" != inner ]; then
  exec dbus-run-session -- bash "$0" inner "$@"
fi
program=$2
artifacts=$3
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
mkdir -p "$artifacts"
work=$(mktemp -d)
cleanup() {
  [ -n "${dunst_pid:-}" ] && kill "$dunst_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A config of its own, so that no user's dunstrc changes what is seen.
cat >"$work/dunstrc" <<'CONF'
[global]
font = WenQuanYi Micro Hei 12
width = 460
origin = top-right
offset = 10x50
frame_width = 2
[urgency_normal]
timeout = 0
CONF
dunst -config "$work/dunstrc" >"$work/dunst.log" 2>&1 &
dunst_pid=$!
for _ in $(seq 50); do
  dunstctl count displayed >/dev/null 2>&1 && break
  sleep 0.2
done
dunstctl count displayed >/dev/null 2>&1 || fail "dunst did not come up: $(cat "$work/dunst.log")"

"$program" 4000 &
program_pid=$!
for _ in $(seq 50); do
  [ "$(dunstctl count displayed)" -ge 1 ] && break
  sleep 0.1
done
sleep 0.5
import -window root "$artifacts/tray_alert_gtk.png"
wait "$program_pid" || fail "the program ended with $?"
shown=$(dunstctl count displayed)
[ "$shown" = 1 ] || fail "$shown notifications shown, not 1"

# Closed, the notification moves to the history, where its words can be read.
dunstctl close-all
sleep 0.3
history=$(dunstctl history)
for words in '打印机需要处理' '厨房 192.168.1.50：缺纸或纸盖开启，1 张小票未打印' 'Quorvel打印服务端'; do
  grep -qF "$words" <<<"$history" || fail "the notification lacks \"$words\": $history"
done
echo "alert shown by the notification service: $artifacts/tray_alert_gtk.png"
