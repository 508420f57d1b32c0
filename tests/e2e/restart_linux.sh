#!/usr/bin/env bash
# The Linux program killed (SIGKILL) with tasks still queued, then started again: the cloud
# takes 2 s over each report at first, and a task ends with its report, so six tasks handed
# out in one poll are still mostly queued after the first print. Across both runs every task prints exactly once, except at most
# the one that was being printed when the kill came; nothing is printed twice and nothing
# is reported printed that did not print. A second kill comes while the report of a printed
# task hangs in a slow cloud: that task is not printed again.
# A stop from the system (SIGTERM, as the user service's stop sends) while a ticket prints:
# the program finishes that ticket, reports it and ends by itself; the restart prints the rest.
# Usage: restart_linux.sh <quorvel-print> <quorvel-sim>
set -u
PROGRAM=$1
SIM=$2
SUITE=restart
source "$(dirname "$0")/lib.sh"

# add_restart_tasks FIRST LAST: tasks r-FIRST … r-LAST of 21 lines for the printer.
add_restart_tasks() {
  api POST /tasks "$(python3 -c '
import json, sys
first, last = int(sys.argv[1]), int(sys.argv[2])
print(json.dumps([{"uni_key": f"r-{n}", "print_sn": "127.0.0.45", "print_num": 1,
  "print_content": [{"type": 1, "bold": 1, "align": 2, "text": f"r-{n} 外卖单"}] +
  [{"type": 1, "text": f"r-{n} 第{i}行 鱼香肉丝 x1 32.00"} for i in range(20)]}
  for n in range(first, last + 1)], ensure_ascii=False))' "$1" "$2")" >/dev/null
}

start_sim --printers 127.0.0.45
add_restart_tasks 1 6 || fail "cannot add the tasks"
api POST /faults '{"kind": "slow", "count": 0, "delay_ms": 2000, "endpoint": "report"}' >/dev/null

start_service
wait_for 60 'len(jobs) >= 1' || fail "nothing printed within 60 s"
kill -KILL "$service_pid"
wait "$service_pid" 2>/dev/null
service_pid=
api DELETE /faults >/dev/null
[ -f "$work/run/tasks.journal" ] || fail "no task journal beside the program"
done_before=$(api GET /jobs | python3 -c 'import json,sys; print(len(json.load(sys.stdin)))')
echo "killed after $done_before job(s)"
[ "$done_before" -lt 5 ] || fail "the kill came too late to leave tasks queued"

start_service
wait_for 60 'len(reports) >= 5 and all(not t["waiting"] for t in tasks)' ||
  fail "the restarted service did not finish the queued tasks"
sleep 4  # a task printed twice would show now

# Second kill: while the report of a printed task hangs in a slow cloud. That task has
# left the journal when it was taken, so the restart must not print it again.
e2e_stop_service
api POST /faults '{"kind": "slow", "count": 1, "delay_ms": 8000, "endpoint": "report"}' >/dev/null
add_restart_tasks 7 9 || fail "cannot add the second tasks"
start_service
wait_for 60 "any(l.startswith('r-7 ') for j in jobs for l in j['lines'])" || fail "r-7 not printed"
sleep 1  # its report is now hanging
kill -KILL "$service_pid"
wait "$service_pid" 2>/dev/null
service_pid=
start_service
wait_for 60 "all(any(r['uk'] == k for r in reports) for k in ('r-8', 'r-9'))" ||
  fail "the restarted service did not print r-8 and r-9"
sleep 4

# Third stop: SIGTERM while r-10 prints and its report is slow in coming.
e2e_stop_service
api POST /faults '{"kind": "slow", "count": 1, "delay_ms": 3000, "endpoint": "report"}' >/dev/null
add_restart_tasks 10 12 || fail "cannot add the third tasks"
start_service
wait_for 60 "any(l.startswith('r-10 ') for j in jobs for l in j['lines'])" || fail "r-10 not printed"
kill -TERM "$service_pid"
for _ in $(seq 300); do kill -0 "$service_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$service_pid" 2>/dev/null && fail "the service did not end within 30 s of SIGTERM"
wait "$service_pid"
code=$?
service_pid=
[ "$code" -eq 0 ] || fail "the service ended with $code on SIGTERM"
api GET /reports | python3 -c '
import json, sys
sys.exit(0 if any(r["uk"] == "r-10" and r["stat"] == "1" for r in json.load(sys.stdin)) else 1)' ||
  fail "r-10 printed but not reported before the service ended"
run_log | grep -q "收到系统的结束请求" || fail "the run log does not say why it ended"
start_service
wait_for 60 "all(any(r['uk'] == k for r in reports) for k in ('r-11', 'r-12'))" ||
  fail "the restarted service did not print r-11 and r-12"
sleep 4

python3 - "$admin" <<'EOF' || fail "tasks lost, doubled or misreported (see above)"
import json, sys, urllib.request
admin = sys.argv[1]
get = lambda p: json.load(urllib.request.urlopen(admin + p, timeout=10))
reports, jobs = get("/reports"), get("/jobs")
problems = []
keys = [f"r-{n}" for n in range(1, 13)]
complete, partial = {k: 0 for k in keys}, {k: 0 for k in keys}
for j in jobs:
    owners = {l.split(" ")[0] for l in j["lines"] if l.startswith("r-")}
    if len(owners) != 1:
        problems.append(f"job {j['job']} mixes tasks: {owners}")
        continue
    key = owners.pop()
    whole = len(j["lines"]) == 21 and j["cuts"] == 1 and not j["dropped"]
    (complete if whole else partial)[key] += 1
stats = {}
for r in reports:
    stats.setdefault(r["uk"], []).append(r["stat"])
lost = [k for k in keys if complete[k] == 0]
print("complete jobs", complete, "partial", partial, "reports", stats)
if any(v > 1 for v in complete.values()):
    problems.append("a task printed twice")
if len(lost) > 1 or (lost and lost[0] not in keys[:6]):
    problems.append(f"more than the one task in flight at the first kill was lost: {lost}")
for k in keys:
    if stats.get(k, []).count("1") and complete[k] == 0:
        problems.append(f"{k} reported printed but never printed whole")
    if len(stats.get(k, [])) > 1:
        problems.append(f"{k} reported {len(stats[k])} times")
for p in problems:
    print(p)
sys.exit(1 if problems else 0)
EOF
echo "after the kill and restart every task printed once (at most the one in flight lost)"
