#!/usr/bin/env bash
# The window libraries are loaded only for windows: a headless program maps none of GTK,
# WebKitGTK, JavaScriptCore or the tray library; a windowed one does; a window module that
# is missing or broken while a display is present is named on stderr and the program runs
# headless. Run under xvfb-run. Usage: window_module_linux.sh <quorvel-print>
set -u
program=$1
work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failed=0
fail() {
  echo "FAIL: $*"
  failed=1
}

desktop_libs='lib(gtk-3|gdk-3|webkit2gtk|javascriptcoregtk|ayatana)'

# start NAME ARGS...: runs a copy of the program in $work/NAME until it has started (its log
# directory exists); its output goes to $work/NAME.err. no_display=1 hides the display.
start() {
  local name=$1
  shift
  mkdir -p "$work/$name/rt"
  cp "$program" "$work/$name/quorvel-print"
  printf '[set]\r\nsid=10001\r\nserver=127.0.0.1:9\r\naurunpr=0\r\n' >"$work/$name/config.ini"
  local unset=()
  [ "${no_display:-0}" = 1 ] && unset=(-u DISPLAY -u WAYLAND_DISPLAY)
  env "${unset[@]}" XDG_RUNTIME_DIR="$work/$name/rt" "$work/$name/quorvel-print" "$@" \
    >"$work/$name.err" 2>&1 &
  pid=$!
  for _ in $(seq 100); do
    [ -d "$work/$name/log" ] && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  fail "$name: the program did not start"
  cat "$work/$name.err"
  return 1
}

stop() {
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  pid=
}

# maps NAME WANTED: WANTED is "none" or "some" desktop libraries in the running program.
maps() {
  local found
  found=$(grep -cE "$desktop_libs" "/proc/$pid/maps")
  if [ "$2" = none ] && [ "$found" -ne 0 ]; then
    fail "$1: desktop libraries mapped:"
    grep -oE "/[^ ]*$desktop_libs[^ ]*" "/proc/$pid/maps" | sort -u
  elif [ "$2" = some ] && [ "$found" -eq 0 ]; then
    fail "$1: no desktop library mapped"
  fi
}

# Headless: asked for, and without a display to show windows on.
if start asked --headless; then maps asked none; stop; fi
if no_display=1 start no-display; then
  maps no-display none
  grep -q 'no display could be opened; running headless' "$work/no-display.err" ||
    fail "no-display: message missing"
  stop
fi

# With the display of xvfb-run: the build's module is loaded (the copy finds it through its
# run path).
if start windowed; then maps windowed some; stop; fi

# A module that cannot serve: an empty file, and a library without the entry point.
for broken in empty foreign; do
  mkdir -p "$work/$broken"
  case $broken in
    empty) : >"$work/$broken/quorvel-print-gtk.so" ;;
    foreign) cp "$(ldd "$program" | awk '$1 ~ /^libz\.so/ {print $3}')" \
      "$work/$broken/quorvel-print-gtk.so" ;;
  esac
  if start "$broken"; then
    maps "$broken" none
    grep -q 'quorvel-print: the window module could not be loaded (.*quorvel-print-gtk.so.*); running headless' \
      "$work/$broken.err" || { fail "$broken: message missing"; cat "$work/$broken.err"; }
    kill -0 "$pid" 2>/dev/null || fail "$broken: the program ended"
    stop
  fi
done

[ $failed -eq 0 ] && echo "window libraries loaded only for windows"
exit $failed
