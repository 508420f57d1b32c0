#!/usr/bin/env bash
# The program's cashier window keeps answering while the service waits (run under
# xvfb-run), in GTK or under Wine: through a poll that the cloud holds for 20 s and through
# tasks for a printer that takes the connection but reads nothing. Prints the worst lateness
# of each.
# Usage: responsive.sh gtk|wine <quorvel-print[.exe]> <quorvel-sim (Linux)>; needs DISPLAY,
# and for wine WINEPREFIX (a prefix of this test's own: one instance runs per prefix).
set -u
here=$(dirname "$0")
backend=$1
program=$2
sim=$3
. "$here/gui_lib.sh"
. "$here/newcomer_lib.sh"
. "$here/responsive_lib.sh"
. "$here/backend.sh"
if [ "$backend" = gtk ]; then store=20261063 printer=127.0.0.63; else store=20261064 printer=127.0.0.64; fi

start_sim "$sim" "$store" "$printer"
if [ "$backend" = gtk ]; then
  start_page "收银台 午市"
else
  page_url=about:blank  # Wine has no engine to show a real page
fi
mkdir "$work/run"
ca_file_path=$(program_path "$ca_pem")
config_for_stalls
start_program "$work/run"

cashier=$(wait_window '^Tillora' $patience) || fail "no cashier window"
sim_wait $((patience / 2)) 'len([r for r in get("/requests") if r.get("endpoint") == "wait"]) >= 2' ||
  fail "the service did not start polling"
expect_answers_through_stalls "$cashier"
