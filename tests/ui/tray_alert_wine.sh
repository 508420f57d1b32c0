#!/usr/bin/env bash
# The printer alert on Windows: the notification-area balloon of the program's icon, docked
# in an XEmbed tray (trayer) on the virtual display; the screenshot shows it.
# Usage: tray_alert_wine.sh <program> <artifact dir>; needs DISPLAY and a WINEPREFIX of this
# test's own.
set -eu
program=$1
artifacts=$2
. "$(dirname "$0")/../support/wine_tools.sh"
. "$(dirname "$0")/../gui/gui_lib.sh"
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
wine_prefix_ready
mkdir -p "$artifacts"
work=$(mktemp -d)
cleanup() {
  [ -n "${tray_pid:-}" ] && kill "$tray_pid" 2>/dev/null
  "$wine" --server -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
start_tray || fail "no tray on the display"

"$wine" "$program" 8000 &
program_pid=$!
docked_icon "$tray_panel" '' 30 >/dev/null || fail "the icon did not dock in the tray"
sleep 3
import -window root "$artifacts/tray_alert_wine.png"
wait "$program_pid" || fail "the program ended with $?"
echo "balloon screenshot: $artifacts/tray_alert_wine.png"
