#!/usr/bin/env bash
# Runs the Windows scaling test with the Wine prefix set to a DPI: LogPixels, where Wine (like
# Windows 7) keeps the display scale, for the user and for the machine.
# Usage: scaled_windows_wine.sh <dpi> <test program> <artifact dir>; needs DISPLAY and a
# WINEPREFIX of this test's own.
set -eu
dpi=$1
program=$2
artifacts=$3
. "$(dirname "$0")/../support/wine_tools.sh"
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
wine_prefix_ready
"$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
"$wine" reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
  /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
mkdir -p "$artifacts"
cd "$artifacts"
status=0
QV_DPI=$dpi "$wine" "$program" || status=$?
"$wine" --server -k 2>/dev/null || true
exit $status
