#!/usr/bin/env bash
# The task journal on a disk that fills up and in a folder that turns read-only, with the
# program's folder a small tmpfs in a mount namespace of this suite's own (needs root).
#
# Full disk: an answer of 20 tasks is journaled, then the disk fills (the run log with it);
# a stop, space back, a restart. An answer that comes while the disk is full is printed from
# memory and said on stderr; a stop, space back, a restart. Read-only folder: a journal left with queued tasks by a kill, then three starts
# with the folder read-only (the queued tasks wait: said on stderr, never printed), then a
# start with the folder writable again. Over all of it every task prints at most once and is
# reported once, and every task that printed whole is reported printed.
# Usage: journal_disk_linux.sh <quorvel-print> <quorvel-sim>
set -u
if [ -z "${QV_JOURNAL_NAMESPACE:-}" ]; then
  QV_JOURNAL_NAMESPACE=1 exec unshare --mount --propagation private bash "$0" "$@"
fi
PROGRAM=$1
SIM=$2
SUITE=journal
source "$(dirname "$0")/lib.sh"
trap 'umount -l "$work/run" 2>/dev/null; e2e_cleanup' EXIT

mkdir -p "$work/run"
room_kb=$(($(stat -c %s "$PROGRAM") / 1024 + 768))
mount -t tmpfs -o "size=${room_kb}k,mode=755" qv-journal "$work/run" ||
  fail "cannot mount a tmpfs over the program folder"

# add_tasks PREFIX FIRST LAST: tasks PREFIX-FIRST … PREFIX-LAST of 21 lines for the printer.
add_tasks() {
  api POST /tasks "$(python3 -c '
import json, sys
prefix, first, last = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
print(json.dumps([{"uni_key": f"{prefix}-{n}", "print_sn": "127.0.0.76", "print_num": 1,
  "print_content": [{"type": 1, "bold": 1, "align": 2, "text": f"{prefix}-{n} 外卖单"}] +
  [{"type": 1, "text": f"{prefix}-{n} 第{i}行 鱼香肉丝 x1 32.00"} for i in range(20)]}
  for n in range(first, last + 1)], ensure_ascii=False))' "$1" "$2" "$3")" >/dev/null ||
    fail "cannot add the tasks $1-$2..$3"
}
jobs_done() { api GET /jobs | python3 -c 'import json,sys; print(len(json.load(sys.stdin)))'; }
# fill_disk: no room left, not even in the journal's last page (a no-op record fills it),
# where a few short records would otherwise still fit.
fill_disk() {
  python3 - "$work/run/tasks.journal" <<'EOF'
import os, sys
path = sys.argv[1]
slack = -os.path.getsize(path) % 4096
slack += 4096 if slack < 12 else 0
with open(path, "a") as f:
    f.write('{"take":0}' + " " * (slack - 11) + "\n")
EOF
  # Only ever fill the small tmpfs of this suite, never the disk the machine runs on.
  mountpoint -q "$work/run" || fail "the program folder is not the suite's tmpfs"
  dd if=/dev/zero of="$work/run/filler" bs=4k status=none 2>/dev/null
  sync
}
alarms() { grep -c "任务队列文件无法写入" "$work/service.out"; }

# verify KEYS...: each task printed at most once and reported once, and never reported
# printed without printing whole.
verify() {
  python3 - "$admin" "$@" <<'EOF' || fail "tasks lost, doubled or misreported (see above)"
import json, sys, urllib.request
admin = sys.argv[1]
get = lambda p: json.load(urllib.request.urlopen(admin + p, timeout=10))
reports, jobs = get("/reports"), get("/jobs")
keys = sys.argv[2:]
complete = {k: 0 for k in keys}
problems = []
for j in jobs:
    owners = {l.split(" ")[0] for l in j["lines"] if l[:1] in "drn"}
    if len(owners) != 1:
        problems.append(f"job {j['job']} mixes tasks: {owners}")
        continue
    key = owners.pop()
    if len(j["lines"]) == 21 and j["cuts"] == 1 and not j["dropped"]:
        complete[key] = complete.get(key, 0) + 1
stats = {}
for r in reports:
    stats.setdefault(r["uk"], []).append(r["stat"])
print("printed", {k: v for k, v in complete.items() if v != 1}, "(others once)")
for k in keys:
    if complete[k] > 1:
        problems.append(f"{k} printed {complete[k]} times")
    if len(stats.get(k, [])) != 1:
        problems.append(f"{k} reported {len(stats.get(k, []))} times")
    elif stats[k] == ["1"] and complete[k] == 0:
        problems.append(f"{k} reported printed but never printed whole")
for p in problems:
    print(p)
sys.exit(1 if problems else 0)
EOF
}

start_sim --printers 127.0.0.76
# A task ends with its report: slow reports keep most of an answer queued for a while.
api POST /faults '{"kind": "slow", "count": 0, "delay_ms": 1500, "endpoint": "report"}' >/dev/null

echo "--- full disk"
add_tasks d 1 20
start_service
# Both answers (ten tasks each) journaled, then the disk fills.
wait_for 60 'len(jobs) >= 1 and all(not t["waiting"] for t in tasks)' ||
  fail "the tasks were not handed out within 60 s"
sleep 1
fill_disk
df -k "$work/run" | tail -1
wait_for 60 'len(jobs) >= 7' || fail "the service stopped printing on the full disk"
e2e_stop_service
echo "stopped after $(jobs_done) job(s)"
[ "$(jobs_done)" -lt 20 ] || fail "the stop came too late to leave tasks queued"
rm -f "$work/run/filler"
start_service
wait_for 90 "all(any(r['uk'] == f'd-{n}' for r in reports) for n in range(1, 21))" ||
  fail "the restart did not finish the journaled tasks"
# An answer that comes with the disk full cannot be journaled: printed from memory, said.
fill_disk
add_tasks d 21 23
wait_for 90 "all(any(r['uk'] == f'd-{n}' for r in reports) for n in (21, 22, 23))" ||
  fail "the answer that came with the disk full did not print"
[ "$(alarms)" -ge 1 ] || fail "the journal that could not be written was not said on stderr"
grep -m1 "任务队列文件" "$work/service.out"
e2e_stop_service
rm -f "$work/run/filler"
start_service
sleep 4  # a task printed twice would show now
e2e_stop_service
verify $(seq -f 'd-%g' 1 23)

echo "--- read-only folder"
api POST /faults '{"kind": "slow", "count": 0, "delay_ms": 3000, "endpoint": "report"}' >/dev/null
add_tasks r 1 6
: >"$work/service.out"
start_service
wait_for 60 "any(l.startswith('r-1 ') for j in jobs for l in j['lines'])" || fail "r-1 not printed"
kill -KILL "$service_pid"
wait "$service_pid" 2>/dev/null
service_pid=
api DELETE /faults >/dev/null
mount -o remount,ro "$work/run" || fail "cannot make the program folder read-only"
for start in 1 2 3; do
  before=$(jobs_done)
  : >"$work/service.out"
  start_service
  add_tasks "n$start" 1 1  # a new task still prints, from memory
  wait_for 60 "any(r['uk'] == 'n$start-1' for r in reports)" || fail "start $start: no new task printed"
  sleep 3
  e2e_stop_service
  [ "$(alarms)" -ge 1 ] || fail "start $start: the read-only journal was not said on stderr"
  grep -q "暂不打印" "$work/service.out" || fail "start $start: the held tasks were not named"
  [ "$(jobs_done)" -eq $((before + 1)) ] || fail "start $start: printed queued tasks again"
done
mount -o remount,rw "$work/run" || fail "cannot make the program folder writable again"
start_service
wait_for 90 "all(any(r['uk'] == f'r-{n}' for r in reports) for n in range(2, 7))" ||
  fail "the queued tasks did not print once the folder was writable"
sleep 3
e2e_stop_service
start_service  # and a further start prints nothing
sleep 4
e2e_stop_service
verify $(seq -f 'd-%g' 1 23) $(seq -f 'r-%g' 1 6) n1-1 n2-1 n3-1

echo "full disk and read-only folder: every task printed at most once and reported once"
