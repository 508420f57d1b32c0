#!/usr/bin/env bash
# A stop from the system (SIGTERM, as `systemctl --user stop`, a package upgrade or a
# shutdown sends) at each stage of the service's work, one row of the table each: the
# program ends by itself with status 0 within the bound, says in its run log what it waited
# for, and over that run and a restart every task of the row is printed at most once and
# reported exactly once (printed whole when reported printed). A cloud that holds its answer
# past the bound is cut off at it.
# Usage: ending_linux.sh <quorvel-print> <quorvel-sim>
set -u
PROGRAM=$1
SIM=$2
SUITE=ending
source "$(dirname "$0")/lib.sh"

printer=127.0.0.71
start_sim --printers $printer --max-per-poll 20

# add_tasks PREFIX COUNT LINES: tasks PREFIX-1 … PREFIX-COUNT of LINES lines each.
add_tasks() {
  api POST /tasks "$(python3 -c '
import json, sys
prefix, count, lines = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
print(json.dumps([{"uni_key": f"{prefix}-{n}", "print_sn": sys.argv[4], "print_num": 1,
  "print_content": [{"type": 1, "text": f"{prefix}-{n} 第{i}行 宫保鸡丁 x1 26.00"}
                    for i in range(lines)]} for n in range(1, count + 1)], ensure_ascii=False))
' "$1" "$2" "$3" "$printer")" >/dev/null || fail "cannot add the tasks $1"
}

# sim_log_count PATTERN: how many simulator log lines match.
sim_log_count() { grep -c -- "$1" "$work/sim.log"; }
# wait_sim_log SECONDS PATTERN COUNT: waits until COUNT lines of the simulator log match.
wait_sim_log() {
  local deadline=$((SECONDS + $1))
  while [ $SECONDS -lt $deadline ]; do
    [ "$(sim_log_count "$2")" -ge "$3" ] && return 0
    sleep 0.05
  done
  return 1
}
fault() { api POST /faults "$1" >/dev/null || fail "the simulator refused the fault $1"; }
printer_set() { api POST "/printers/$printer" "$1" >/dev/null || fail "cannot set the printer: $1"; }

# stop_with_term: SIGTERM, then await_end.
stop_with_term() {
  term_at=$(date +%s%N)
  kill -TERM "$service_pid"
  await_end
}
# await_end: the end after the SIGTERM sent at term_at; sets stop_ms (from the signal to the
# end) and fails unless the program ended by itself with status 0 within 25 s.
await_end() {
  for _ in $(seq 250); do kill -0 "$service_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$service_pid" 2>/dev/null && fail "$row: the program did not end within 25 s of SIGTERM"
  wait "$service_pid"
  local code=$?
  service_pid=
  stop_ms=$((($(date +%s%N) - term_at) / 1000000))
  [ "$code" -eq 0 ] || fail "$row: the program ended with status $code"
}

# start_held ENDPOINT MS: the service started with the cloud holding its next answer on
# ENDPOINT for MS ms; returns once the cloud holds it.
start_held() {
  local before
  before=$(sim_log_count "answering $2 ms late")
  fault "{\"kind\": \"slow\", \"count\": 1, \"delay_ms\": $2, \"endpoint\": \"$1\"}"
  start_service
  wait_sim_log 30 "answering $2 ms late" $((before + 1)) || fail "$row: no $1 request came"
}

# Each row: sets a fault or a printer state up, starts the service, sends SIGTERM at its
# stage; the checks after it are the row's own. The common part follows in run_row.

row_idle() {  # an idle run of polls, parked on the cloud lane between two polls 10 s apart
  set_config time 10
  start_service
  wait_sim_log 30 "POST wait store=.*no task" 1 || fail "$row: no poll"
  sleep 1.5
  stop_with_term
  set_config time 1
  [ "$stop_ms" -lt 3000 ] || fail "$row: the end waited $stop_ms ms for a poll that was not out"
}

row_held() {  # the cloud holds its answer (4 s); the stop comes 1 s into it
  add_tasks held 3 5
  start_held wait 4000
  sleep 1
  stop_with_term
  [ "$stop_ms" -ge 2000 ] || fail "$row: ended after $stop_ms ms, before the held answer came"
  run_log | grep -q "程序退出：已等待查询任务的应答" || fail "$row: the run log does not say it waited for the poll"
  check "not any(j for j in jobs if any(l.startswith('held-') for l in j['lines']))" ||
    fail "$row: a task of the answer printed after the stop (no new ticket may start)"
  grep -q '"held-1"' "$work/run/tasks.journal" || fail "$row: the answer's tasks are not in the journal"
}

row_burst() {  # an answer of 20 tasks comes just as the stop does
  add_tasks burst 20 3
  start_held wait 2000
  wait_sim_log 10 "POST wait store=.* -> 200, 20 task" 1 || fail "$row: the answer did not go out"
  stop_with_term
}

row_ticket() {  # a ticket the printer has not taken in yet: it reads nothing for 1.3 s
  printer_set '{"stall": true, "receive_buffer": 1024}'
  add_tasks ticket 1 200
  start_service
  wait_sim_log 30 "POST wait store=.* -> 200, 1 task" 1 || fail "$row: the task was not handed out"
  sleep 0.8
  term_at=$(date +%s%N)
  kill -TERM "$service_pid"
  sleep 0.5
  printer_set '{"stall": false, "receive_buffer": 0}'
  kill -TERM "$service_pid" 2>/dev/null  # a second request changes nothing
  await_end
  run_log | grep -q "正在打印的小票" || fail "$row: the run log does not say it waited for the ticket"
}

row_report() {  # the ticket has printed; its report takes 3 s
  add_tasks report 1 5
  start_held report 3000
  sleep 0.5
  stop_with_term
  check "any(r['uk'] == 'report-1' for r in reports)" || fail "$row: the report did not finish before the end"
}

row_bound() {  # the cloud holds its answer for 60 s: the end does not wait for it
  add_tasks bound 2 3
  start_held wait 60000
  stop_with_term
  [ "$stop_ms" -le 21000 ] || fail "$row: the end took $stop_ms ms, past its 20 s bound"
  run_log | grep -q "不再等待" || fail "$row: the run log does not say the wait was cut short"
}

# run_row NAME PREFIX: the row, then a restart that finishes the row's tasks, then the count.
run_row() {
  row=$1
  local prefix=$2
  rm -f "$work"/run/log/*.log
  "row_$row"
  echo "$row: ended ${stop_ms:-?} ms after SIGTERM"
  run_log | grep -q "程序退出" || fail "$row: no run-log line about the end"
  [ -z "$prefix" ] && return 0
  # The row's tasks still on the cloud or in the journal print now; every one is reported.
  start_service
  wait_for 90 "all(any(r['uk'] == t['uni_key'] for r in reports) for t in tasks if t['uni_key'].startswith('$prefix-'))" ||
    fail "$row: after the restart not every task was reported"
  sleep 3  # a task printed or reported twice would show now
  e2e_stop_service
  python3 - "$admin" "$prefix" <<'EOF' || fail "$row: a task printed twice, not at all, or reported other than once"
import json, sys, urllib.request
admin, prefix = sys.argv[1], sys.argv[2] + "-"
get = lambda p: json.load(urllib.request.urlopen(admin + p, timeout=10))
tasks, reports, jobs = get("/tasks"), get("/reports"), get("/jobs")
keys = [t["uni_key"] for t in tasks if t["uni_key"].startswith(prefix)]
problems = []
for key in keys:
    whole = [j for j in jobs if j["lines"] and all(l.startswith(key + " ") for l in j["lines"])
             and not j["dropped"]]
    stats = [r["stat"] for r in reports if r["uk"] == key]
    if len(whole) > 1:
        problems.append(f"{key} printed {len(whole)} times")
    if len(stats) != 1:
        problems.append(f"{key} reported {stats}")
    elif stats[0] == "1" and not whole:
        problems.append(f"{key} reported printed but not printed whole")
print(f"{len(keys)} tasks:", "; ".join(problems) if problems else "each printed at most once, reported once")
sys.exit(1 if problems or not keys else 0)
EOF
}

run_row idle ""
run_row held held
run_row burst burst
run_row ticket ticket
run_row report report
run_row bound bound
echo "every stop ended by itself; no task lost, printed twice or reported twice"
