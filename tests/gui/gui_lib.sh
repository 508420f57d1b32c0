# Helpers shared by the whole-program window tests (sourced; bash). They drive real windows
# on the X display of xvfb-run, which has no window manager: windows have no frames from a
# manager, cannot be activated, and are found by title. A test sets tab_top, how far below
# the top of 设置 its tab page begins (the tab strip's height: 23 in GTK, 25 under Wine).

# wait_window REGEX SECONDS: prints the id of the first visible window whose title matches;
# fails when none comes.
wait_window() {
  local ids
  for _ in $(seq $(($2 * 5))); do
    ids=$(xdotool search --onlyvisible --name "$1" 2>/dev/null)
    [ -n "$ids" ] && { head -1 <<<"$ids"; return 0; }
    sleep 0.2
  done
  return 1
}

# window_title ID: the window's _NET_WM_NAME (UTF-8), without quotes.
window_title() {
  xprop -id "$1" _NET_WM_NAME 2>/dev/null | sed -n 's/^_NET_WM_NAME([^)]*) = "\(.*\)"$/\1/p'
}

# wait_title ID TEXT SECONDS: waits until the window's title is exactly TEXT.
wait_title() {
  for _ in $(seq $(($3 * 5))); do
    [ "$(window_title "$1")" = "$2" ] && return 0
    sleep 0.2
  done
  return 1
}

# click_at ID X Y: a left click at a position relative to the window's top left corner.
click_at() {
  xdotool windowfocus "$1" 2>/dev/null
  xdotool mousemove --window "$1" "$2" "$3" click 1
}

# click_tab ID X Y: a left click at a position on 设置's tab page.
click_tab() {
  click_at "$1" "$2" $(($3 + tab_top))
}

# shot ID FILE: a screenshot of one window (the file's folder is made).
shot() {
  [ -n "$1" ] || fail "no window to take $2 of"  # import would wait for a click
  mkdir -p "$(dirname "$2")"
  import -window "$1" "$2" 2>/dev/null || echo "screenshot failed: $2"
}

# wait_count URL MINIMUM SECONDS: waits until the number the URL answers reaches MINIMUM
# (the test server's count of wait requests of a store).
wait_count() {
  local n=0
  for _ in $(seq $(($3 * 2))); do
    n=$(curl -sk "$1" 2>/dev/null)
    [ -n "$n" ] && [ "$n" -ge "$2" ] 2>/dev/null && { echo "$n"; return 0; }
    sleep 0.5
  done
  echo "${n:-none}"
  return 1
}

fail() {
  echo "FAIL: $*"
  exit 1
}

# wait_gone REGEX SECONDS: waits until no visible window's title matches.
wait_gone() {
  for _ in $(seq $(($2 * 5))); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
    sleep 0.2
  done
  return 1
}

# window_list: the titles of the visible windows, for failure messages.
window_list() {
  local id
  for id in $(xdotool search --onlyvisible --name . 2>/dev/null); do
    printf "'%s' " "$(window_title "$id")"
  done
}

# stacked_above ID OTHER: true when window ID lies above OTHER (xwininfo lists the root's
# children top-most first; without a window manager the top-level windows are among them).
stacked_above() {
  local order
  order=$(xwininfo -root -children 2>/dev/null | grep -oE '^ +0x[0-9a-f]+' | tr -d ' ' |
    grep -nxE "$(printf '0x%x|0x%x' "$1" "$2")" | cut -d: -f2)
  [ "$(head -1 <<<"$order")" = "$(printf '0x%x' "$1")" ]
}

# close_window ID: asks the window to close as a window manager's close button does (the
# WM_DELETE_WINDOW message); the virtual display has no manager to do it.
close_window() {
  python3 "$(dirname "${BASH_SOURCE[0]}")/wm_protocols.py" close "$1"
}

# answer_box TITLE SECONDS: waits for a message box titled TITLE and presses its default
# button (Return), again while the box stays (a key that came before the box could take it
# is lost); fails when none comes or it does not go.
answer_box() {
  local box
  box=$(wait_window "$1" "$2") || return 1
  for _ in 1 2 3 4 5; do
    xdotool windowfocus "$box" 2>/dev/null
    xdotool key --window "$box" Return
    wait_gone_id "$box" 4 && return 0
  done
  return 1
}

# wait_gone_id ID SECONDS: waits until the window is no longer mapped.
wait_gone_id() {
  for _ in $(seq $(($2 * 5))); do
    xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable' || return 0
    sleep 0.2
  done
  return 1
}

# start_tray: an XEmbed tray (trayer) at the top right of the screen, as a desktop's panel
# holds one; sets tray_pid and tray_panel (its panel window, where icons dock). Now and then
# trayer ends at once without a word: it is started again.
start_tray() {
  for _ in 1 2 3; do
    trayer --edge top --align right --widthtype pixel --width 200 --heighttype pixel \
      --height 40 >>"${work:-/tmp}/tray.log" 2>&1 &
    tray_pid=$!
    for _ in $(seq 50); do
      tray_panel=$(xdotool search --classname '^panel$' 2>/dev/null | head -1)
      [ -n "$tray_panel" ] && return 0
      kill -0 "$tray_pid" 2>/dev/null || break
      sleep 0.2
    done
    kill "$tray_pid" 2>/dev/null
    echo "trayer did not come up; starting it again"
  done
  return 1
}

# docked_icon PANEL PATTERN SECONDS: waits for a window among the tray's descendants whose
# xwininfo line (name, then class) matches the extended regex PATTERN and which is at least 16
# pixels wide and high; prints "id widthxheight".
docked_icon() {
  local line id width height
  for _ in $(seq $(($3 * 5))); do
    line=$(xwininfo -id "$1" -tree 2>/dev/null | grep -E "^ +0x[0-9a-f]+ .*$2" | head -1)
    if [ -n "$line" ]; then
      id=$(awk '{print $1}' <<<"$line")
      read -r width height < <(grep -oE '[0-9]+x[0-9]+\+' <<<"$line" | head -1 | tr 'x+' '  ')
      if [ "${width:-0}" -ge 16 ] && [ "${height:-0}" -ge 16 ]; then
        echo "$id ${width}x$height"
        return 0
      fi
    fi
    sleep 0.2
  done
  echo "$line"
  return 1
}

# shot_area ID FILE: the screen's pixels where the window lies (Wine's child controls can come
# out black in a shot of the window itself).
shot_area() {
  local geometry
  geometry=$(xwininfo -id "$1" 2>/dev/null | awk '/Absolute upper-left X/ {x=$NF}
    /Absolute upper-left Y/ {y=$NF} /Width:/ {w=$NF} /Height:/ {h=$NF}
    END {if (w) printf "%sx%s+%s+%s", w, h, x, y}')
  [ -n "$geometry" ] || fail "no window to take $2 of"
  mkdir -p "$(dirname "$2")"
  import -window root -crop "$geometry" +repage "$2" 2>/dev/null || echo "screenshot failed: $2"
}

# expect_fills_screen ID NAME: fails unless the window covers the screen without reaching past
# it, give or take the few pixels of border that a maximised frame keeps off the screen (and,
# where the X window is only the client area, as Wine's are, the title bar above it).
expect_fills_screen() {
  local screen_w screen_h x y w h slack=8 caption=40
  read -r screen_w screen_h < <(xdotool getdisplaygeometry)
  read -r x y w h < <(xwininfo -id "$1" 2>/dev/null | awk '/Absolute upper-left X/ {x=$NF}
    /Absolute upper-left Y/ {y=$NF} /Width:/ {w=$NF} /Height:/ {h=$NF} END {print x, y, w, h}')
  echo "$2: ${w}x$h at $x,$y on a ${screen_w}x$screen_h screen"
  [ "$x" -ge $((-slack)) ] && [ "$y" -ge $((-slack)) ] &&
    [ $((x + w)) -le $((screen_w + slack)) ] && [ $((y + h)) -le $((screen_h + slack)) ] ||
    fail "$2 reaches past the edges of the screen"
  [ "$w" -ge $((screen_w - slack)) ] && [ "$h" -ge $((screen_h - slack - caption)) ] ||
    fail "$2 does not fill the screen it does not fit"
}

# expect_question_keeps_windows SERVICE KIND: the autostart question of 设置 opened
# from 打印服务 (window SERVICE, the service stopped). Closing 打印服务 while the question is
# open would take 设置, the question's owner, with it: opens 设置 from 打印服务, ticks and
# unticks 开机自动启动, asks 打印服务
# to close while the question is up, and answers it OK. The close must have no effect, the
# answer must remove the entry, and the program and both windows must still be there; then
# 设置 is closed. The caller defines autostart_entry (true while the entry exists), program_pid,
# work and artifacts; the screenshots are named after KIND.
expect_question_keeps_windows() {
  local service=$1 kind=$2 config
  click_at "$service" 473 330  # "打印设置" at (429, 314), 88 x 32
  config=$(wait_window '^设置$' 15) || fail "打印设置 opened no 设置 window"
  click_tab "$config" 20 190  # "开机自动启动" at (8, 177), 129 x 26: ticked
  for _ in $(seq 10); do autostart_entry && break; sleep 0.5; done
  autostart_entry || fail "ticking 开机自动启动 wrote no autostart entry"
  click_tab "$config" 20 190  # unticked: the question comes
  wait_window '^询问$' 15 >/dev/null || fail "unticking 开机自动启动 asked no question"
  close_window "$service"
  sleep 1
  shot root "$artifacts/$kind-question-service-closed.png"
  answer_box '^询问$' 10 || fail "the question did not go on Return"
  sleep 1
  kill -0 "$program_pid" 2>/dev/null ||
    fail "the program ended after the question: $(tail -5 "$work/program.log")"
  xdotool search --onlyvisible --name '^打印服务$' >/dev/null || fail "打印服务 closed under the question"
  config=$(wait_window '^设置$' 5) || fail "设置 went under its own question"
  autostart_entry && fail "OK to the question left the autostart entry"
  shot_area "$config" "$artifacts/$kind-config-after-question.png"
  echo "打印服务 stayed under the question; answered, it removed the autostart entry"
  close_window "$config"  # it lies over 打印服务's start button
  wait_gone '^设置$' 5 || fail "设置 did not close after the question"
}

# settings_service_round NAME POLL_SECONDS: from 设置, just opened by the cashier's settings
# action: its status button brings up 打印服务 and closes 设置 (then the caller's
# before_service_start SERVICE runs, where defined); 打印服务's start button makes
# the service poll the loopback cloud ($cloud, store $store) within POLL_SECONDS, and its
# "打印设置" opens 设置 again. A shot of each step goes to $artifacts/NAME-*.png.
settings_service_round() {
  local name=$1 poll_seconds=$2 config service waits
  config=$(wait_window '^设置$' 15) || fail "the settings action opened no 设置 window"
  sleep 0.5
  shot "$config" "$artifacts/$name-config-from-cashier.png"

  click_tab "$config" 376 234  # "打印服务状态" at (305, 210), 142 x 48
  service=$(wait_window '^打印服务$' 15) || fail "the status button opened no 打印服务 window"
  wait_gone '^设置$' 5 || fail "设置 stayed open after the status button"
  sleep 0.5
  shot "$service" "$artifacts/$name-service-stopped.png"
  # A test may check something on the stopped service first (defined by the caller).
  if declare -F before_service_start >/dev/null; then before_service_start "$service"; fi

  click_at "$service" 259 200  # "启动服务" at (203, 176), 112 x 48
  waits=$(wait_count "$cloud/__cloud/waits?store=$store" 2 "$poll_seconds") ||
    fail "the started service did not poll the cloud (wait requests: $waits)"
  echo "the service polled the loopback cloud $waits times over HTTPS"
  shot "$service" "$artifacts/$name-service-running.png"

  click_at "$service" 473 330  # "打印设置" at (429, 314), 88 x 32
  config=$(wait_window '^设置$' 15) || fail "打印设置 opened no 设置 window"
  sleep 0.5
  shot "$config" "$artifacts/$name-config-from-service.png"
}
