#!/usr/bin/env bash
# The GTK program's cashier window keeps answering while the service waits (run under
# xvfb-run): through a poll that the cloud holds for 20 s and through tasks for a printer
# that takes the connection but reads nothing. Prints the worst lateness of each.
# Usage: responsive_gtk.sh <quorvel-print> <quorvel-sim>; needs DISPLAY.
set -u
here=$(dirname "$0")
. "$here/gui_lib.sh"
. "$here/newcomer_lib.sh"
. "$here/responsive_lib.sh"
program=$1
sim=$2
store=20261063
printer=127.0.0.63
program_pid=
cleanup() {
  stop_pid "$program_pid"
  stop_newcomer_world
}
trap cleanup EXIT
export XDG_RUNTIME_DIR="$work/xdg"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export XDG_CONFIG_HOME="$work/config"

start_sim "$sim" "$store" "$printer"
start_page "收银台 午市"
mkdir "$work/run"
cp "$program" "$work/run/quorvel-print"
ca_file_path=$ca_pem
config_for_stalls
(cd "$work/run" && exec ./quorvel-print) >"$work/program.log" 2>&1 &
program_pid=$!

cashier=$(wait_window '^Tillora' 60) || fail "no cashier window"
sim_wait 30 'len([r for r in get("/requests") if r.get("endpoint") == "wait"]) >= 2' ||
  fail "the service did not start polling"
expect_answers_through_stalls "$cashier"
