#!/usr/bin/env bash
# The Windows installer under Wine, in a prefix of its own, as a shop that deploys many tills
# uses it: a silent install; a silent upgrade while the program runs, which must close it and
# keep the shop's data and choices; a silent uninstall, which must remove the program, its
# shortcuts, every autostart value and the uninstall entry, and keep the data.
# Usage: installer_wine.sh <installer.exe> <version> <work dir>; needs DISPLAY (xvfb-run):
# the upgrade meets the program in its window.
# Exits 77 (skipped) on hosts that run no 32-bit programs: the installer is one.
set -u
installer=$(realpath "$1")
version=$2
work=$3
here=$(cd "$(dirname "$0")" && pwd)
# The installer is a 32-bit program whatever build the tests run on.
export QV_WINE_ARCH=win32
. "$here/../support/wine_tools.sh"

if [ "${QV_WINE64:-0}" = 1 ] || ! "$wine" --version >/dev/null 2>&1; then
  echo "this host runs no 32-bit programs; the installer cannot run here"
  exit 77
fi

export WINEPREFIX=$work/wineprefix WINEDEBUG=-all
# winemenubuilder would turn the installer's shortcuts into Linux menu entries of this host.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LC_ALL=C.UTF-8  # Chinese names on Wine's command lines
program_pid=
cleanup() {
  [ -n "$program_pid" ] && kill -KILL "$program_pid" 2>/dev/null
  "$wine" --server -k 2>/dev/null
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}

mkdir -p "$work"
rm -rf "$WINEPREFIX"
"$here/../support/wine_prefixes.sh" "$work/wineprefix-template" "$WINEPREFIX" ||
  fail "no Wine prefix"

product=Quorvel打印服务端
run_key='Software\Microsoft\Windows\CurrentVersion\Run'
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\QuorvelPrint'
drive_c=$WINEPREFIX/drive_c
program_files="$drive_c/Program Files (x86)"  # where a 32-bit program goes on 64-bit Windows
[ -d "$program_files" ] || program_files="$drive_c/Program Files"
dir=$program_files/$product
start_menu=$drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/$product
desktop_link=$drive_c/users/Public/Desktop/$product.lnk

registry() { python3 "$here/wine_registry.py" "$WINEPREFIX" "$@"; }
expect_value() {  # ROOT KEY VALUE EXPECTED
  local got
  got=$(registry "$1" "$2" "$3") || fail "$1\\$2: no value $3"
  [ "$got" = "$4" ] || fail "$1\\$2 $3 is '$got', expected '$4'"
}
expect_no_value() {  # [--view 64] ROOT KEY VALUE
  registry "$@" >/dev/null && fail "$* is still there"
  return 0
}
settle() {  # waits until every process of the prefix has ended (a left-over one is a fault)
  timeout 120 "$wine" --server -w || fail "processes of the Wine prefix did not end"
}

# 1. A fresh silent install.
"$wine" "$installer" /S || fail "the silent install ended with $?"
settle
for f in quorvel-print.exe WebView2Loader.dll uninstall.exe; do
  [ -f "$dir/$f" ] || fail "no $f in $dir"
done
[ "$(python3 "$here/pe_version.py" "$dir/quorvel-print.exe" | sed -n 's/^product_text=//p')" = "$version" ] ||
  fail "the installed program does not carry version $version"
for link in "$start_menu/$product.lnk" "$desktop_link"; do
  [ -f "$link" ] || fail "no shortcut $link"
  grep -aq 'quorvel-print\.exe' "$link" || fail "$link does not start quorvel-print.exe"
done
location=$(registry HKLM "$uninstall_key" InstallLocation) || fail "no uninstall entry"
[ "$(realpath -m "$("$wine" winepath -u "$location" 2>/dev/null)")" = "$(realpath "$dir")" ] ||
  fail "the uninstall entry names $location, not $dir"
expect_value HKLM "$uninstall_key" DisplayName "$product"
expect_value HKLM "$uninstall_key" DisplayVersion "$version"
expect_value HKLM "$uninstall_key" Publisher Quorvel
expect_value HKLM "$uninstall_key" DisplayIcon "$location\\quorvel-print.exe,0"
expect_value HKLM "$uninstall_key" UninstallString "\"$location\\uninstall.exe\""
size=$(registry HKLM "$uninstall_key" EstimatedSize) || fail "no EstimatedSize"
[ "$size" -gt 500 ] || fail "EstimatedSize $size KB is less than the program"
# The program's own form of its autostart value, so that its settings show it as on.
expect_value HKLM "$run_key" "$product" "$location\\quorvel-print.exe auto"
echo "installed into $location"

# 2. The shop at work: its settings, a log, queued tasks; it deleted the desktop shortcut and
# switched the start with Windows off. The program runs.
printf '[set]\r\nsid=10001\r\nserver=127.0.0.1:9\r\naurunpr=0\r\n' >"$dir/config.ini"
mkdir -p "$dir/log"
printf 'shop log\r\n' >"$dir/log/2026_1_5_09_00_00.log"
printf '{"journal":"quorvel-print-tasks","version":1,"tasks":[]}' >"$dir/tasks.journal"
cp "$dir/config.ini" "$dir/log/2026_1_5_09_00_00.log" "$work/"
rm -f "$desktop_link"
"$wine" reg delete "HKLM\\$run_key" /v "$product" /f /reg:32 >/dev/null 2>&1
(cd "$dir" && exec "$wine" ./quorvel-print.exe auto) >"$work/program.log" 2>&1 &
program_pid=$!
for _ in $(seq 450); do
  xdotool search --name '^Tillora' >/dev/null 2>&1 && break
  kill -0 "$program_pid" 2>/dev/null || fail "the installed program ended: $(cat "$work/program.log")"
  sleep 0.2
done
xdotool search --name '^Tillora' >/dev/null 2>&1 || fail "the installed program shows no cashier window"

# 3. A silent upgrade: it asks the program to close, waits for it, and keeps data and choices.
"$wine" "$installer" /S || fail "the silent upgrade ended with $?"
kill -0 "$program_pid" 2>/dev/null && fail "the program still runs after the upgrade"
wait "$program_pid"
program_pid=
settle
[ -f "$dir/quorvel-print.exe" ] || fail "the upgrade left no program"
cmp -s "$dir/config.ini" "$work/config.ini" || fail "the upgrade changed config.ini"
cmp -s "$dir/log/2026_1_5_09_00_00.log" "$work/2026_1_5_09_00_00.log" || fail "the upgrade changed log/"
[ -f "$dir/tasks.journal" ] || fail "the upgrade removed the task journal"
[ -f "$desktop_link" ] && fail "the upgrade brought back the desktop shortcut the shop had deleted"
expect_no_value HKLM "$run_key" "$product"
expect_value HKLM "$uninstall_key" DisplayVersion "$version"
echo "upgraded over the running program; data and choices kept"

# 4. A silent uninstall, after the program wrote its autostart value everywhere it may: the
# machine-wide key (also the 64-bit one of a 64-bit build) and, without rights there, the
# user's own.
"$wine" reg add "HKLM\\$run_key" /v "$product" /d "$location\\quorvel-print.exe auto" /f /reg:32 >/dev/null 2>&1
"$wine" reg add "HKCU\\$run_key" /v "$product" /d "$location\\quorvel-print.exe auto" /f >/dev/null 2>&1
views=(32)
if [ -d "$drive_c/windows/syswow64" ]; then
  "$wine" reg add "HKLM\\$run_key" /v "$product" /d "$location\\quorvel-print.exe auto" /f /reg:64 >/dev/null 2>&1
  views+=(64)
fi
settle
for view in "${views[@]}"; do
  registry --view "$view" HKLM "$run_key" "$product" >/dev/null || fail "could not set the $view-bit Run value"
done
# The uninstaller runs a copy of itself from the temporary folder; settle waits for it.
"$wine" "$dir/uninstall.exe" /S || fail "the silent uninstall ended with $?"
settle
for f in quorvel-print.exe WebView2Loader.dll uninstall.exe; do
  [ -e "$dir/$f" ] && fail "the uninstall left $f"
done
[ -e "$start_menu" ] && fail "the uninstall left the Start menu folder"
[ -e "$desktop_link" ] && fail "the uninstall left the desktop shortcut"
for view in "${views[@]}"; do
  expect_no_value --view "$view" HKLM "$run_key" "$product"
done
expect_no_value HKCU "$run_key" "$product"
registry HKLM "$uninstall_key" && fail "the uninstall entry is still there"
cmp -s "$dir/config.ini" "$work/config.ini" || fail "the silent uninstall removed config.ini"
[ -f "$dir/log/2026_1_5_09_00_00.log" ] || fail "the silent uninstall removed log/"
[ -f "$dir/tasks.journal" ] || fail "the silent uninstall removed the task journal"
echo "uninstalled; the shop's data stays"
