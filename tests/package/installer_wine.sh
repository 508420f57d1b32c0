#!/usr/bin/env bash
# The Windows installer under Wine, in a prefix of its own, as a shop that deploys many tills
# uses it: a silent install; an upgrade from the earlier layout (the shop's files and queued
# tickets beside the program, an unquoted autostart value) while that program runs, which
# must close it and move the files into the data folder, keeping every ticket and choice; the
# upgraded program, which keeps its files in the data folder; a silent install that names the
# store (/SERVER= /STOREID=); a silent uninstall, which must remove the program, its
# shortcuts, every autostart value and the uninstall entry, and keep the data; a fresh silent
# install with the store, which writes config.ini in GBK.
# Usage: installer_wine.sh <installer.exe> <version> <work dir>; needs DISPLAY (xvfb-run):
# the upgrade meets the program in its window.
# The release installer is a 32-bit program. Where 32-bit programs do not run, the 64-bit
# installer of the 64-bit build beside it (<installer>-x64.exe, scripts/package --x64) is
# tested instead; without it the test exits 77 (skipped).
set -u
installer=$(realpath "$1")
version=$2
work=$3
here=$(cd "$(dirname "$0")" && pwd)
export QV_WINE_ARCH=win32
. "$here/../support/wine_tools.sh"

view=32  # the registry view of the installer and its program
if [ "${QV_WINE64:-0}" = 1 ] || ! "$wine" --version >/dev/null 2>&1; then
  installer=${installer%.exe}-x64.exe
  if [ ! -f "$installer" ]; then
    echo "this host runs no 32-bit programs, and there is no 64-bit installer ($installer)"
    exit 77
  fi
  echo "this host runs no 32-bit programs: testing the 64-bit installer $installer"
  export QV_WINE_ARCH=win64
  view=64
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
[ -d "$program_files" ] && [ $view = 32 ] || program_files="$drive_c/Program Files"
dir=$program_files/$product
data=$drive_c/ProgramData/$product  # the shop's files
data_win='C:\ProgramData\'$product
start_menu=$drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/$product
desktop_link=$drive_c/users/Public/Desktop/$product.lnk

registry() { python3 "$here/wine_registry.py" --view $view "$WINEPREFIX" "$@"; }
expect_value() {  # ROOT KEY VALUE EXPECTED
  local got
  got=$(registry "$1" "$2" "$3") || fail "$1\\$2: no value $3"
  [ "$got" = "$4" ] || fail "$1\\$2 $3 is '$got', expected '$4'"
}
expect_no_value() {  # [--view 64] ROOT KEY VALUE
  python3 "$here/wine_registry.py" "$WINEPREFIX" "$@" >/dev/null && fail "$* is still there"
  return 0
}
expect_no_data_beside_program() {  # WHEN
  for f in config.ini log tasks.journal; do
    [ -e "$dir/$f" ] && fail "$1: $f is beside the program"
  done
  return 0
}
# start_program: the installed program, started as the autostart value does; waits for its
# cashier window.
start_program() {
  (cd "$dir" && exec "$wine" ./quorvel-print.exe auto) >"$work/program.log" 2>&1 &
  program_pid=$!
  for _ in $(seq 450); do
    xdotool search --name '^Tillora' >/dev/null 2>&1 && return 0
    kill -0 "$program_pid" 2>/dev/null || fail "the installed program ended: $(cat "$work/program.log")"
    sleep 0.2
  done
  fail "the installed program shows no cashier window"
}
# expect_program_ended_by_installer: the installer closed the program it met.
expect_program_ended_by_installer() {
  kill -0 "$program_pid" 2>/dev/null && fail "the program still runs after the installer"
  wait "$program_pid"
  program_pid=
}
# run_log_says DIR TEXT: some run-log entry in DIR/log says TEXT (entries are GBK).
run_log_says() {
  local f
  for f in "$1"/log/*.log; do
    [ -f "$f" ] && iconv -f GBK -t UTF-8 "$f" | grep -qF "$2" && return 0
  done
  return 1
}
# The tickets an earlier version had queued when it was upgraded (its journal's first form).
queued_journal() {
  local task='"app_id":"app","store_id":"10001","print_type":1,"print_sn":"127.0.0.9","print_num":1,"print_content":"[]","feed_lines":5'
  printf '{"journal":"quorvel-print-tasks","version":1,"tasks":[{"uni_key":"upgrade-1",%s},{"uni_key":"upgrade-2",%s}]}' \
    "$task" "$task"
}
expect_queued_tickets() {  # FILE WHEN
  grep -q '"upgrade-1"' "$1" && grep -q '"upgrade-2"' "$1" ||
    fail "$2: the queued tickets are not in $1: $(cat "$1" 2>/dev/null)"
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
# The program's own form of its autostart value, the path in quotes.
expect_value HKLM "$run_key" "$product" "\"$location\\quorvel-print.exe\" auto"
[ -d "$data" ] || fail "the install made no data folder $data"
[ -e "$data/config.ini" ] && fail "the install wrote config.ini without a store given"
expect_no_data_beside_program "after the install"
echo "installed into $location; data folder $data_win"

# 2. The layout of an earlier version: the shop's settings, a log and two queued tickets
# beside the program, no data folder, the autostart value without quotes; the shop deleted
# the desktop shortcut. That program runs, and keeps using the files beside itself.
rm -rf "$data"
printf '[set]\r\nsid=10001\r\nserver=127.0.0.1:9\r\naurunpr=0\r\n' >"$dir/config.ini"
mkdir -p "$dir/log"
# Named by today, as the program names its entries: it removes those older than 30 days.
shop_log=$(date +%Y_%-m_%-d)_00_00_01.log
printf 'shop log\r\n' >"$dir/log/$shop_log"
queued_journal >"$dir/tasks.journal"
cp "$dir/config.ini" "$dir/log/$shop_log" "$work/"
rm -f "$desktop_link"
"$wine" reg add "HKLM\\$run_key" /v "$product" /d "$location\\quorvel-print.exe auto" /f /reg:$view >/dev/null 2>&1
start_program
for _ in $(seq 50); do run_log_says "$dir" "数据目录：$location" && break; sleep 0.2; done
run_log_says "$dir" "数据目录：$location" || fail "the program with config.ini beside it did not keep its files there"
[ -e "$data" ] && fail "the program with config.ini beside it made the data folder"

# 3. A silent upgrade: it asks the program to close, waits for it, moves the shop's files into
# the data folder and keeps the choices.
"$wine" "$installer" /S || fail "the silent upgrade ended with $?"
expect_program_ended_by_installer
settle
[ -f "$dir/quorvel-print.exe" ] || fail "the upgrade left no program"
expect_no_data_beside_program "after the upgrade"
cmp -s "$data/config.ini" "$work/config.ini" || fail "the upgrade changed or lost config.ini"
cmp -s "$data/log/$shop_log" "$work/$shop_log" || fail "the upgrade lost log/"
run_log_says "$data" "数据目录：$location" || fail "the upgrade lost the program's own log entry"
expect_queued_tickets "$data/tasks.journal" "after the upgrade"
[ -f "$desktop_link" ] && fail "the upgrade brought back the desktop shortcut the shop had deleted"
expect_value HKLM "$run_key" "$product" "\"$location\\quorvel-print.exe\" auto"
expect_value HKLM "$uninstall_key" DisplayVersion "$version"
echo "upgraded over the running program: files moved into the data folder, tickets and choices kept, autostart quoted"

# 4. The upgraded program keeps its files in the data folder and says so; the tickets wait.
start_program
for _ in $(seq 50); do run_log_says "$data" "数据目录：$data_win" && break; sleep 0.2; done
run_log_says "$data" "数据目录：$data_win" || fail "the run log does not name the data folder"
expect_no_data_beside_program "after the upgraded program started"
expect_queued_tickets "$data/tasks.journal" "after the upgraded program started"
echo "the upgraded program uses $data_win and says so in its run log"

# 5. A silent install naming the store, over the running program, after the shop switched the
# start with Windows off: server and store ID go into config.ini, its other keys stay, and the
# start with Windows stays off.
"$wine" reg delete "HKLM\\$run_key" /v "$product" /f /reg:$view >/dev/null 2>&1
"$wine" "$installer" /S /SERVER=cloud.example:8443 /STOREID=20002 || fail "the silent install with the store ended with $?"
expect_program_ended_by_installer
settle
got=$(tr -d '\r' <"$data/config.ini" | grep -E '^(sid|server|aurunpr)=' | sort | tr '\n' ' ')
[ "$got" = "aurunpr=0 server=cloud.example:8443 sid=20002 " ] || fail "config.ini after /SERVER= /STOREID=: $got"
expect_queued_tickets "$data/tasks.journal" "after the install with the store"
expect_no_value --view $view HKLM "$run_key" "$product"
echo "/SERVER= and /STOREID= written into config.ini; its other keys and the choices kept"

# 6. A silent uninstall, after the program wrote its autostart value everywhere it may: the
# machine-wide key (also the 64-bit one of a 64-bit build) and, without rights there, the
# user's own.
"$wine" reg add "HKLM\\$run_key" /v "$product" /d "\"$location\\quorvel-print.exe\" auto" /f /reg:$view >/dev/null 2>&1
"$wine" reg add "HKCU\\$run_key" /v "$product" /d "\"$location\\quorvel-print.exe\" auto" /f >/dev/null 2>&1
views=($view)
if [ $view = 32 ] && [ -d "$drive_c/windows/syswow64" ]; then
  "$wine" reg add "HKLM\\$run_key" /v "$product" /d "$location\\quorvel-print.exe auto" /f /reg:64 >/dev/null 2>&1
  views+=(64)
fi
settle
for v in "${views[@]}"; do
  python3 "$here/wine_registry.py" --view "$v" "$WINEPREFIX" HKLM "$run_key" "$product" >/dev/null ||
    fail "could not set the $v-bit Run value"
done
cp "$data/config.ini" "$work/config.ini"
# The uninstaller runs a copy of itself from the temporary folder; settle waits for it.
"$wine" "$dir/uninstall.exe" /S || fail "the silent uninstall ended with $?"
settle
for f in quorvel-print.exe WebView2Loader.dll uninstall.exe; do
  [ -e "$dir/$f" ] && fail "the uninstall left $f"
done
[ -e "$dir" ] && fail "the uninstall left the program folder: $(ls -A "$dir")"
[ -e "$start_menu" ] && fail "the uninstall left the Start menu folder"
[ -e "$desktop_link" ] && fail "the uninstall left the desktop shortcut"
for v in "${views[@]}"; do
  expect_no_value --view "$v" HKLM "$run_key" "$product"
done
expect_no_value HKCU "$run_key" "$product"
registry HKLM "$uninstall_key" && fail "the uninstall entry is still there"
cmp -s "$data/config.ini" "$work/config.ini" || fail "the silent uninstall removed config.ini"
[ -f "$data/log/$shop_log" ] || fail "the silent uninstall removed log/"
expect_queued_tickets "$data/tasks.journal" "after the silent uninstall"
echo "uninstalled; the shop's data stays in $data_win"

# 7. A new till, deployed silently with its store: config.ini is made in GBK, the encoding the
# program reads it in, whatever the system's code page.
rm -rf "$data"
"$wine" "$installer" /S /SERVER=cloud.example /STOREID=门店30003 || fail "the fresh install with the store ended with $?"
settle
printf '[set]\r\nserver=cloud.example\r\nsid=门店30003\r\n' | iconv -f UTF-8 -t GBK >"$work/expected.ini"
cmp -s "$data/config.ini" "$work/expected.ini" ||
  fail "config.ini of a fresh install with the store: $(od -c "$data/config.ini" | head -5)"
"$wine" "$dir/uninstall.exe" /S || fail "the second silent uninstall ended with $?"
settle
echo "a fresh install with the store wrote config.ini in GBK"
