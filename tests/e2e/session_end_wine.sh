#!/usr/bin/env bash
# The Windows program under Wine at the session's end (logoff, shutdown), which Wine's
# `wineboot --end-session` brings: WM_QUERYENDSESSION to every top-level window, then
# WM_ENDSESSION. Two rows:
#   held:   a ticket's report is slow; the query finds it in hand, the program asks the
#           session to wait and finishes by itself: the ticket is reported once.
#   forced: `--force` sends WM_ENDSESSION whatever the answer, while the cloud holds a poll's
#           answer: the program ends inside that message, after taking the answer in; the
#           restart prints its tasks once.
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
  kill -0 "$wine_pid" 2>/dev/null && fail "the program still runs 30 s after the session's end"
  wait "$wine_pid"
  local code=$?
  wine_pid=
  echo "the program ended with status $code"
}

# Row 1: a ticket in hand whose report takes 4 s.
add_task se-held "$printer" 3 1
api POST /faults '{"kind": "slow", "count": 1, "delay_ms": 4000, "endpoint": "report"}' >/dev/null
start_wine_service
wait_for 60 "any(l.startswith('se-held ') for j in jobs for l in j['lines'])" || fail "se-held not printed"
end_session
check "[r['stat'] for r in reports if r['uk'] == 'se-held'] == ['1']" ||
  fail "se-held was not reported exactly once before the end"
run_log | grep -q "系统会话结束" || fail "the run log does not say the session ended"
run_log | grep -q "程序退出：已等待正在打印的小票完成" || fail "the run log does not say it waited for the ticket"

# Row 2: forced, while the cloud holds a poll's answer for 4 s.
add_task se-forced "$printer" 3 1
before=$(grep -c "answering 4000 ms late" "$work/sim.log")
api POST /faults '{"kind": "slow", "count": 1, "delay_ms": 4000, "endpoint": "wait"}' >/dev/null
start_wine_service
for _ in $(seq 300); do
  [ "$(grep -c "answering 4000 ms late" "$work/sim.log")" -gt "$before" ] && break
  sleep 0.1
done
sleep 1
end_session --force
grep -q '"se-forced"' "$work/run/tasks.journal" || fail "the held answer's task is not in the journal"
check "not any(r['uk'] == 'se-forced' for r in reports)" || fail "se-forced printed after the session's end"
start_wine_service
wait_for 90 "any(r['uk'] == 'se-forced' for r in reports)" || fail "the restart did not print se-forced"
sleep 3
check "[r['stat'] for r in reports if r['uk'] == 'se-forced'] == ['1'] and
       sum(1 for j in jobs if any(l.startswith('se-forced ') for l in j['lines'])) == 1" ||
  fail "se-forced printed or reported other than once"
echo "the session's end waited for the ticket and kept the held answer"
