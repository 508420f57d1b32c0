#!/usr/bin/env bash
# A newcomer's first day with the GTK program (run under xvfb-run): started with a config.ini
# that names neither server nor store, it opens "设置" in front of "打印服务" to ask for the
# store information, with no message box before it; the
# server and store ID typed into "设置" are checked against the loopback cloud and saved; the
# service started from "打印服务" prints a task on the virtual printer and reports it; closed,
# the service window goes to the tray, whose icon docks in an XEmbed tray; closing the cashier
# window while a task is being reported ends the program after that report, not before.
# Screenshots of the windows go to the artifact folder.
# Usage: newcomer_gtk.sh <quorvel-print> <quorvel-sim> <artifact dir>; needs DISPLAY.
set -u
here=$(dirname "$0")
. "$here/gui_lib.sh"
. "$here/newcomer_lib.sh"
tab_top=23
program=$1
sim=$2
artifacts=$3
store=20261061
printer=127.0.0.61
program_pid=
cleanup() {
  stop_pid "$program_pid"
  stop_newcomer_world
}
trap cleanup EXIT
# The single-instance lock lives in XDG_RUNTIME_DIR: a private one keeps other tests that run
# the program at the same time from counting as our first instance.
export XDG_RUNTIME_DIR="$work/xdg"
mkdir -m 700 "$XDG_RUNTIME_DIR"

start_sim "$sim" "$store" "$printer"
start_page "收银台 新店"
start_tray || fail "the tray did not start"

# What a newcomer has: no server, no store. The page stays on loopback (the default address
# is the cloud's), and the simulator's CA is trusted through ca_file.
mkdir "$work/run"
cp "$program" "$work/run/quorvel-print"
printf '[set]\r\nca_file=%s\r\nurl=%s\r\n' "$ca_pem" "$page_url" >"$work/run/config.ini"
(cd "$work/run" && exec ./quorvel-print) >"$work/program.log" 2>&1 &
program_pid=$!

# --- 1. The store information ----------------------------------------------------------------
cashier=$(wait_window '^Tillora' 60) || fail "no cashier window"
wait_title "$cashier" "Tillora - 收银台 新店" 30 ||
  fail "cashier title is '$(window_title "$cashier")', not 'Tillora - ' and the page's title"
config=$(wait_window '^设置$' 30) || fail "the program did not ask for the store information"
service=$(wait_window '^打印服务$' 10) || fail "no 打印服务 window beside 设置"
stacked_above "$config" "$service" || fail "设置 opened behind 打印服务"
[ -z "$(xdotool search --onlyvisible --name '^信息：$' 2>/dev/null)" ] ||
  fail "a message box about the empty store stands before 设置"
sim_check 'len(lists) == 0' || fail "a printer list reached the cloud before a server was set"

type_store_information
sleep 0.5
shot "$config" "$artifacts/gtk-newcomer-config.png"
click_tab "$config" 507 234  # "保存" at (459, 210), 96 x 48
expect_store_saved

# --- 2. The service prints -------------------------------------------------------------------
click_tab "$config" 376 234  # "打印服务状态" at (305, 210): 打印服务 to the front, 设置 closes
wait_gone '^设置$' 10 || fail "设置 stayed open after 打印服务状态"
click_at "$service" 259 200  # "启动服务" at (203, 176), 112 x 48
expect_first_task_printed 60
shot "$service" "$artifacts/gtk-newcomer-service.png"

# --- 3. The tray -----------------------------------------------------------------------------
close_window "$service"
wait_gone '^打印服务$' 10 || fail "打印服务 stayed on the screen when closed while running"
icon=$(docked_icon "$tray_panel" '"Quorvel打印服务端": ' 20) ||
  fail "no icon docked in the tray (found: '$icon')"
echo "the tray holds the icon: $icon"
shot root "$artifacts/gtk-newcomer-screen.png"
shot "$cashier" "$artifacts/gtk-newcomer-cashier.png"
# A click on the icon opens its menu, whose one item "显示" brings the service window back.
xdotool mousemove --window "${icon%% *}" 16 16 click 1
menu=
for _ in $(seq 50); do  # the menu: a visible window named after the program, wider than 20
  for id in $(xdotool search --onlyvisible --name '^quorvel-print$' 2>/dev/null); do
    w=$(xdotool getwindowgeometry "$id" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
    [ "${w:-0}" -gt 20 ] && menu=$id
  done
  [ -n "$menu" ] && break
  sleep 0.2
done
[ -n "$menu" ] || fail "a click on the tray icon opened no menu"
click_at "$menu" 50 16
wait_window '^打印服务$' 10 >/dev/null || fail "the tray menu's 显示 did not show 打印服务"
docked_icon "$tray_panel" '"Quorvel打印服务端": ' 5 >/dev/null || fail "the tray icon went with 显示"
echo "the tray icon's 显示 brought 打印服务 back; the icon stays"

# --- 4. Closing while a task is under way ----------------------------------------------------
close_cashier() {  # the header bar's close button
  local width
  width=$(xdotool getwindowgeometry "$cashier" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
  click_at "$cashier" $((width - 28)) 26
}
expect_end_after_report 60 40 10000 close_cashier
echo "screenshots in $artifacts"
