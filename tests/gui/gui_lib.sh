# Helpers shared by the whole-program window tests (sourced; bash). They drive real windows
# on the X display of xvfb-run, which has no window manager: windows have no frames from a
# manager, cannot be activated, and are found by title.

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
