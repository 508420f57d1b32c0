#!/usr/bin/env bash
# The Windows program under Wine at the session's end (logoff, shutdown), which Wine's
# `wineboot --end-session` brings: WM_QUERYENDSESSION to every top-level window, then
# WM_ENDSESSION. The till has a backlog: twelve tickets, each report taking 1.5 s, so a
# ticket is in hand whenever the session's end comes (wineboot takes seconds to start).
# Two rows: without `--force` the program answers the query by asking the session to wait
# and ends by itself once the ticket in hand is reported; with `--force` WM_ENDSESSION comes
# whatever the answer and the program ends inside it. Either way the restart prints the rest,
# and every ticket is printed at most once and reported once.
# Usage: session_end_wine.sh <quorvel-print.exe> <quorvel-sim (Linux)>; needs WINEPREFIX.
set -u
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a bash "$0" "$@"; fi
PROGRAM=$1
SIM=$2
SUITE=session-end
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/wine_lib.sh"
wine_prefix_ready

printer=127.0.0.72
start_sim --printers $printer --wine-paths

# end_session ARGS...: wineboot's end of the session; then waits up to 30 s for the program
# to end by itself and checks its status.
end_session() {
  "$wine" wineboot --end-session "$@" >>"$work/wineboot.out" 2>&1
  echo "wineboot --end-session $* returned $?"
  for _ in $(seq 300); do kill -0 "$wine_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$wine_pid" 2>/dev/null && fail "$row: the program still runs 30 s after the session's end"
  wait "$wine_pid"
  local code=$?
  wine_pid=
  [ "$code" -eq 0 ] || fail "$row: the program ended with status $code"
}

# session_row NAME PREFIX [WINEBOOT-ARGS...]
session_row() {
  row=$1
  local prefix=$2
  shift 2
  rm -f "$work"/run/log/*.log
  for n in $(seq 12); do add_task "$prefix-$n" "$printer" 3 1; done
  api POST /faults '{"kind": "slow", "count": 12, "delay_ms": 1500, "endpoint": "report"}' >/dev/null
  start_wine_service
  wait_for 90 "any(l.startswith('$prefix-') for j in jobs for l in j['lines'])" ||
    fail "$row: nothing printed"
  end_session "$@"
  run_log | grep -q "系统会话结束" || fail "$row: the run log does not say the session ended"
  run_log | grep -q "程序退出：已等待.*正在打印的小票" ||
    fail "$row: the run log does not say the ticket in hand was waited for"
  local done_before
  done_before=$(api GET /reports | python3 -c "import json,sys; print(sum(r['uk'].startswith('$prefix-') for r in json.load(sys.stdin)))")
  echo "$row: $done_before of 12 reported before the end"
  api DELETE /faults >/dev/null
  start_wine_service
  wait_for 120 "all(any(r['uk'] == f'$prefix-{n}' for r in reports) for n in range(1, 13))" ||
    fail "$row: the restart did not finish the backlog"
  sleep 3
  stop_wine_service
  check "all([r['stat'] for r in reports if r['uk'] == f'$prefix-{n}'] == ['1'] and
             sum(1 for j in jobs if any(l.startswith(f'$prefix-{n} ') for l in j['lines'])) == 1
             for n in range(1, 13))" || fail "$row: a ticket printed or reported other than once"
}

session_row held se-h
session_row forced se-f --force
echo "the session's end waited for the ticket in hand; the backlog printed once after the restart"
