#!/usr/bin/env bash
# Takes screenshots of 打印机状态 and 最近小票 while a program shows them.
# Usage: printer_windows_shot.sh <artifact prefix> <command...>; needs DISPLAY.
set -eu
prefix=$1
shift
. "$(dirname "$0")/../gui/gui_lib.sh"
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
mkdir -p "$(dirname "$prefix")"
"$@" 15000 &
program_pid=$!
status=$(wait_window '^打印机状态$' 60) || fail "打印机状态 did not open"
recent=$(wait_window '^最近小票$' 20) || fail "最近小票 did not open"
sleep 2
shot_area "$status" "$prefix-status.png"
shot_area "$recent" "$prefix-recent.png"
import -window root "$prefix-screen.png"
wait "$program_pid" || fail "the program ended with $?"
echo "screenshots: $prefix-status.png $prefix-recent.png"
