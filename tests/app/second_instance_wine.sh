#!/usr/bin/env bash
# Under Wine, with a real (virtual) display: a second start shows exactly one message box
# with the single-instance text and ends when it is closed; the first keeps running.
# Usage: second_instance_wine.sh <quorvel-print.exe> <artifact dir> <Wine prefix>
# Needs DISPLAY (run under xvfb-run). The prefix is this test's own: the single-instance rule
# holds per prefix, and the clean-up ends every Wine process in it.
set -u
. "$(dirname "$0")/../support/wine_tools.sh"
fail() { echo "$*"; exit 1; }
program=$1
artifacts=$2
export WINEPREFIX=$3
wine_prefix_ready
work=$(mktemp -d)
mkdir -p "$artifacts"
cleanup() {
  "$wine" --server -k 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

cp "$program" "$work/quorvel-print.exe"
printf '[set]\r\nsid=10001\r\nserver=127.0.0.1:9\r\naurunpr=0\r\n' >"$work/config.ini"
cd "$work"

wait_window() {  # name, seconds -> prints the window ids
  local ids
  for _ in $(seq $(($2 * 5))); do
    ids=$(xdotool search --name "$1" 2>/dev/null)
    [ -n "$ids" ] && { echo "$ids"; return 0; }
    sleep 0.2
  done
  return 1
}

"$wine" ./quorvel-print.exe >"$work/first.log" 2>&1 &
wait_window '^Tillora' 90 >/dev/null || { echo "first instance shows no cashier window"; exit 1; }

"$wine" ./quorvel-print.exe >"$work/second.log" 2>&1 &
second=$!
boxes=$(wait_window '友情提醒:' 60) || { echo "no message box from the second instance"; exit 1; }
[ "$(wc -l <<<"$boxes")" -eq 1 ] || { echo "more than one box: $boxes"; exit 1; }
import -window root "$artifacts/second-instance.png" 2>/dev/null
[ "$(xdotool search --name '^Tillora' | wc -l)" -eq 1 ] || { echo "a second cashier window appeared"; exit 1; }

xdotool windowfocus --sync "$boxes" 2>/dev/null
xdotool key --window "$boxes" Return
for _ in $(seq 100); do
  kill -0 "$second" 2>/dev/null || break
  sleep 0.2
done
kill -0 "$second" 2>/dev/null && { echo "second instance did not end after its box closed"; exit 1; }
xdotool search --name '^Tillora' >/dev/null || { echo "first instance ended"; exit 1; }
echo "second instance refused as expected"
