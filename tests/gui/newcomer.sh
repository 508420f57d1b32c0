#!/usr/bin/env bash
# A newcomer's first day with the program (run under xvfb-run), in GTK or under Wine: started
# with a config.ini that names neither server nor store, it opens "设置" in front of "打印服务"
# to ask for the store information, with no message box before it; the server and store ID
# typed into "设置" are checked against the loopback cloud over HTTPS and saved; the service
# started from "打印服务" prints a task on the virtual printer and reports it; closed, the
# service window goes to the tray, whose icon docks in an XEmbed tray; closing the cashier
# window while a task is being reported ends the program after that report, not before.
# Screenshots of the windows go to the artifact folder.
# Usage: newcomer.sh gtk|wine <quorvel-print[.exe]> <quorvel-sim (Linux)> <artifact dir>;
# needs DISPLAY, and for wine WINEPREFIX (a prefix of this test's own: one instance runs per
# prefix).
set -u
here=$(dirname "$0")
backend=$1
program=$2
sim=$3
artifacts=$4
. "$here/gui_lib.sh"
. "$here/newcomer_lib.sh"
. "$here/backend.sh"
if [ "$backend" = gtk ]; then store=20261061 printer=127.0.0.61; else store=20261062 printer=127.0.0.62; fi

start_sim "$sim" "$store" "$printer"
# The page stays on loopback (the default address is the cloud's); Wine has no engine to
# show a real one, so its cashier window shows about:blank.
if [ "$backend" = gtk ]; then start_page "收银台 新店"; else page_url=about:blank; fi
start_tray || fail "the tray did not start"

# What a newcomer has: no server, no store. The simulator's CA is trusted through ca_file.
mkdir "$work/run"
printf '[set]\r\nca_file=%s\r\nurl=%s\r\n' "$(program_path "$ca_pem")" "$page_url" \
  >"$work/run/config.ini"
start_program "$work/run"

# --- 1. The store information ----------------------------------------------------------------
cashier=$(wait_window '^Tillora' 60) || fail "no cashier window"
if [ "$backend" = gtk ]; then
  wait_title "$cashier" "Tillora - 收银台 新店" 30 ||
    fail "cashier title is '$(window_title "$cashier")', not 'Tillora - ' and the page's title"
fi
config=$(wait_window '^设置$' 30) || fail "the program did not ask for the store information"
service=$(wait_window '^打印服务$' 10) || fail "no 打印服务 window beside 设置"
stacked_above "$config" "$service" || fail "设置 opened behind 打印服务"
[ -z "$(xdotool search --onlyvisible --name '^信息：$' 2>/dev/null)" ] ||
  fail "a message box about the empty store stands before 设置"
sim_check 'len(lists) == 0' || fail "a printer list reached the cloud before a server was set"

type_store_information
if [ "$backend" = gtk ]; then
  sleep 0.5
  shot "$config" "$artifacts/gtk-newcomer-config.png"
else
  sleep 2
  shot_area "$config" "$artifacts/wine-newcomer-config.png"
fi
click_tab "$config" 507 234  # "保存" at (459, 210), 96 x 48
expect_store_saved

# --- 2. The service prints -------------------------------------------------------------------
click_tab "$config" 376 234  # "打印服务状态" at (305, 210): 打印服务 to the front, 设置 closes
wait_gone '^设置$' 10 || fail "设置 stayed open after 打印服务状态"
click_at "$service" 259 200  # "启动服务" at (203, 176), 112 x 48
expect_first_task_printed $patience
shot "$service" "$artifacts/$backend-newcomer-service.png"

# --- 3. The tray -----------------------------------------------------------------------------
close_window "$service"
if [ "$backend" = gtk ]; then
  wait_gone '^打印服务$' 10 || fail "打印服务 stayed on the screen when closed while running"
  icon_pattern='"Quorvel打印服务端": '
else
  # Once in several runs on a loaded machine Wine let the synthetic close message go
  # unanswered; a user would click again, and so does the test (and says so).
  wait_gone '^打印服务$' 10 || { echo "打印服务 still shown 10 s after the close: closing again"
    close_window "$service"; wait_gone '^打印服务$' 15; } || {
    shot root "$artifacts/wine-newcomer-service-close.png"
    fail "打印服务 stayed on the screen when closed while running"
  }
  icon_pattern='\("explorer.exe" "explorer.exe"\)'  # Wine's docked icons have no name
fi
icon=$(docked_icon "$tray_panel" "$icon_pattern" 20) ||
  fail "no icon docked in the tray (found: '$icon')"
echo "the tray holds the icon: $icon"
shot root "$artifacts/$backend-newcomer-screen.png"
shot "$cashier" "$artifacts/$backend-newcomer-cashier.png"
if [ "$backend" = gtk ]; then
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
  docked_icon "$tray_panel" "$icon_pattern" 5 >/dev/null || fail "the tray icon went with 显示"
  echo "the tray icon's 显示 brought 打印服务 back; the icon stays"
else
  # A click on the icon brings the service window back; the icon stays.
  xdotool mousemove --window "${icon%% *}" 10 19 click 1
  wait_window '^打印服务$' 15 >/dev/null || fail "a click on the tray icon did not show 打印服务"
  docked_icon "$tray_panel" "$icon_pattern" 5 >/dev/null || fail "the tray icon went with the click"
  echo "a click on the tray icon brought 打印服务 back; the icon stays"
fi

# --- 4. Closing while a task is under way ----------------------------------------------------
if [ "$backend" = gtk ]; then
  close_cashier() {  # the header bar's close button
    local width
    width=$(xdotool getwindowgeometry "$cashier" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
    click_at "$cashier" $((width - 28)) 26
  }
  expect_end_after_report 60 40 10000 close_cashier
else
  # The window has no caption without a window manager. Without one, too, Wine waits 2 s for
  # each window it hides to be withdrawn, so the end comes several seconds after the exit
  # timer's first idle tick.
  expect_end_after_report 90 60 20000 close_window "$cashier"
fi
echo "screenshots in $artifacts"
