#!/usr/bin/env bash
# A stop from the system while a message box waits for an answer nobody gives (an unattended
# till): the box is closed and the program ends at once rather than when someone answers.
# The box here is one over 设置.
# Usage: message_box_end_gtk.sh <quorvel-print> (under xvfb-run).
set -u
here=$(dirname "$0")
. "$here/gui_lib.sh"
tab_top=23
program=$1
work=$(mktemp -d)
program_pid=
cleanup() {
  [ -n "$program_pid" ] && kill -KILL "$program_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR="$work/xdg"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export XDG_CONFIG_HOME="$work/config"

mkdir "$work/run"
cp "$program" "$work/run/quorvel-print"
printf '[set]\r\nsid=\r\nserver=127.0.0.1:1\r\naurunpr=1\r\ntime=1\r\nurl=about:blank\r\n' \
  >"$work/run/config.ini"
cd "$work/run"

# box_then_term TITLE: waits for the box, sends SIGTERM, and fails unless the program ends by
# itself with status 0 within 5 s.
box_then_term() {
  wait_window "^$1\$" 60 >/dev/null ||
    fail "no box $1; windows: $(window_list); log: $(cat "$work/program.log")"
  sleep 0.5
  local start
  start=$(date +%s%N)
  kill -TERM "$program_pid"
  for _ in $(seq 100); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.05
  done
  kill -0 "$program_pid" 2>/dev/null && fail "the program still runs 5 s after SIGTERM with $1 open"
  wait "$program_pid"
  local code=$?
  program_pid=
  [ "$code" -eq 0 ] || fail "the program ended with status $code"
  echo "the program ended $((($(date +%s%N) - start) / 1000000)) ms after SIGTERM with $1 open"
}

# With no store ID the first start opens 设置 by itself, without a box; its save button,
# clicked with the store ID still empty, puts up "门店ID填写错误，请核对！".
./quorvel-print >"$work/program.log" 2>&1 &
program_pid=$!
settings=$(wait_window '^设置$' 60) ||
  fail "no store settings window; windows: $(window_list); log: $(cat "$work/program.log")"
for _ in $(seq 10); do
  xdotool windowraise "$settings"  # above 打印服务, which opened with it
  click_tab "$settings" 507 234    # "保存" at (459, 210), 96 x 48
  wait_window '^错误$' 2 >/dev/null && break
done
box_then_term "错误"
