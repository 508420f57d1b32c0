#!/usr/bin/env bash
# The Windows program's cashier window under Wine keeps answering while the service waits
# (run under xvfb-run): through a poll that the cloud holds for 20 s and through tasks for a
# printer that takes the connection but reads nothing. Prints the worst lateness of each.
# Usage: responsive_wine.sh <quorvel-print.exe> <quorvel-sim (Linux)>; needs DISPLAY and
# WINEPREFIX (a prefix of this test's own: one instance runs per prefix).
set -u
here=$(dirname "$0")
. "$here/gui_lib.sh"
. "$here/newcomer_lib.sh"
. "$here/responsive_lib.sh"
. "$here/../support/wine_tools.sh"
program=$1
sim=$2
store=20261064
printer=127.0.0.64
[ -x "$sim" ] || fail "$sim is missing (build the linux tree first)"
cleanup() {
  "$wine" --server -k 2>/dev/null
  stop_newcomer_world
}
trap cleanup EXIT

wine_prefix_ready

start_sim "$sim" "$store" "$printer"
mkdir "$work/run"
cp "$program" "$work/run/quorvel-print.exe"
# Wine has no engine to show a real page: the cashier window shows about:blank.
page_url=about:blank
ca_file_path="Z:$(tr / '\\' <<<"$ca_pem")"
config_for_stalls
(cd "$work/run" && exec "$wine" ./quorvel-print.exe) >"$work/program.log" 2>&1 &

cashier=$(wait_window '^Tillora' 90) || fail "no cashier window"
sim_wait 60 'len([r for r in get("/requests") if r.get("endpoint") == "wait"]) >= 2' ||
  fail "the service did not start polling"
expect_answers_through_stalls "$cashier"
