#!/usr/bin/env bash
# The Linux program, headless, printing through a running CUPS scheduler of its own: tasks
# for three raw queues, one with a Chinese name (copies, feed lines, cuts), a queue that does
# not exist, one that refuses jobs, a second run without cutting, and a scheduler that stops.
# Checks the exact bytes each queue's device received, one report per task with the right
# outcome, the run log and the scheduler's answers to the queues that failed.
# Usage: spooler_linux.sh <quorvel-print> <quorvel-sim>
set -u
PROGRAM=$1
SIM=$2
SUITE=spooler
source "$(dirname "$0")/lib.sh"

start_cups
add_cups_queue 收银台 "$cups_dir/cashier.out"  # a queue named as shops name them
add_cups_queue qv_closed "$cups_dir/closed.out"
cupsreject qv_closed || fail "cupsreject failed"  # a queue that refuses new jobs
start_sim --printers 127.0.0.55  # no network task; the simulator wants one printer
set_config au_row 2
set_config au_c 1

cat >"$work/tasks.json" <<'EOF'
[
 {"uni_key": "sp-receipt", "print_type": 2, "print_sn": "qv_receipt", "print_num": 2,
  "print_content": [
   {"type": 1, "bold": 1, "align": 2, "widthEnlarge": 1, "heightEnlarge": 1, "text": "桂香楼 顾客联"},
   {"type": 3, "text": "not printed: type 3"},
   {"type": 1, "bold": 0, "align": 1, "text": "宫保鸡丁  1  38.00"},
   {"type": 1, "bold": 0, "align": 9, "text": "合计：38.00"}]},
 {"uni_key": "sp-plain", "print_type": 2, "print_sn": "qv_plain", "print_num": 1,
  "print_content": [{"type": 1, "bold": 1, "align": 1, "heightEnlarge": 1, "text": "后厨单 A08 麻婆豆腐"}]},
 {"uni_key": "sp-cashier", "print_type": 2, "print_sn": "收银台", "print_num": 1,
  "print_content": [{"type": 1, "bold": 0, "align": 2, "text": "收银台小票 合计：12.50"}]},
 {"uni_key": "sp-closed", "print_type": 2, "print_sn": "qv_closed", "print_num": 1,
  "print_content": [{"type": 1, "text": "不收单的打印机"}]},
 {"uni_key": "sp-missing", "print_type": 2, "print_sn": "qv_nosuch", "print_num": 1,
  "print_content": [{"type": 1, "text": "无此打印机"}]}
]
EOF
api POST /tasks "$(cat "$work/tasks.json")" >/dev/null || fail "the simulator refused the tasks"

# expected_bytes TASK-FILE KEYS FEED CUT: the receipts of the listed tasks (comma-separated
# keys), one after the other, as a raw queue's device receives them.
expected_bytes() {
  python3 - "$(dirname "$0")" "$@" <<'EOF'
import json, sys
sys.path.insert(0, sys.argv[1])
from receipt_bytes import expected
tasks = {t["uni_key"]: t for t in json.load(open(sys.argv[2]))}
keys, feed, cut = sys.argv[3].split(","), int(sys.argv[4]), sys.argv[5] == "1"
sys.stdout.buffer.write(b"".join(expected(tasks[k], feed, cut) for k in keys))
EOF
}
expected_bytes "$work/tasks.json" sp-receipt 2 1 >"$work/want-receipt.bin"
expected_bytes "$work/tasks.json" sp-plain 2 1 >"$work/want-plain.bin"
expected_bytes "$work/tasks.json" sp-cashier 2 1 >"$work/want-cashier.bin"

start_service
wait_for 90 'len(reports) >= 5' || fail "not every task was reported within 90 s"
# The scheduler runs the backend after the service handed the job over.
wait_for_size 60 "$cups_dir/qv_receipt.out" "$(stat -c %s "$work/want-receipt.bin")" ||
  fail "qv_receipt's device did not get the whole job"
wait_for_size 60 "$cups_dir/qv_plain.out" "$(stat -c %s "$work/want-plain.bin")" ||
  fail "qv_plain's device did not get the whole job"
wait_for_size 60 "$cups_dir/cashier.out" "$(stat -c %s "$work/want-cashier.bin")" ||
  fail "收银台's device did not get the whole job"
sleep 2  # a late duplicate report or a second job would show now
e2e_stop_service

cmp "$cups_dir/qv_receipt.out" "$work/want-receipt.bin" ||
  fail "qv_receipt's device bytes differ: $(od -c "$cups_dir/qv_receipt.out" | head -20)"
cmp "$cups_dir/qv_plain.out" "$work/want-plain.bin" ||
  fail "qv_plain's device bytes differ: $(od -c "$cups_dir/qv_plain.out" | head -20)"
cmp "$cups_dir/cashier.out" "$work/want-cashier.bin" ||
  fail "收银台's device bytes differ: $(od -c "$cups_dir/cashier.out" | head -20)"
python3 - "$admin" <<'EOF' || fail "the reports are wrong"
import json, sys, urllib.request
reports = json.load(urllib.request.urlopen(sys.argv[1] + "/reports", timeout=10))
got = {}
for r in reports:
    got.setdefault(r["uk"], []).append(r["stat"])
want = {"sp-receipt": ["1"], "sp-plain": ["1"], "sp-cashier": ["1"], "sp-closed": ["-1"],
        "sp-missing": ["-1"]}
if got != want:
    print(f"reports {got}, want {want}")
    sys.exit(1)
EOF

# The missing and the closed queue: the run log names them, and the scheduler itself refused
# their jobs (the service asked it rather than giving up on the client side).
logs=$(run_log)
for queue in qv_nosuch qv_closed; do
  grep -q "USB打印机\[$queue\]连接失败" <<<"$logs" || fail "no run-log entry for $queue"
done
grep -q 'Create-Job client-error-not-found' "$cups_dir/log/access_log" ||
  fail "the scheduler never refused a job for the missing queue: $(cat "$cups_dir/log/access_log")"
grep -q 'Create-Job server-error-not-accepting-jobs' "$cups_dir/log/access_log" ||
  fail "the scheduler never refused a job for the closed queue: $(cat "$cups_dir/log/access_log")"
[ ! -s "$cups_dir/closed.out" ] || fail "the closed queue printed"
[ "$(grep -c 'Create-Job successful-ok' "$cups_dir/log/access_log")" -eq 3 ] ||
  fail "not exactly three jobs reached the scheduler: $(cat "$cups_dir/log/access_log")"

# Second run: cutting off, five feed lines, three copies.
set_config au_c 0
set_config au_row 5
: >"$cups_dir/qv_plain.out"
cat >"$work/tasks2.json" <<'EOF'
[{"uni_key": "sp-no-cut", "print_type": 2, "print_sn": "qv_plain", "print_num": 3,
  "print_content": [{"type": 1, "bold": 0, "align": 3, "text": "不切纸 三份"}]}]
EOF
expected_bytes "$work/tasks2.json" sp-no-cut 5 0 >"$work/want-no-cut.bin"
api POST /tasks "$(cat "$work/tasks2.json")" >/dev/null || fail "the simulator refused the task"
start_service
wait_for 60 "any(r['uk'] == 'sp-no-cut' for r in reports)" || fail "no report for sp-no-cut"
wait_for_size 60 "$cups_dir/qv_plain.out" "$(stat -c %s "$work/want-no-cut.bin")" ||
  fail "qv_plain's device did not get the job without cutting"
sleep 1
cmp "$cups_dir/qv_plain.out" "$work/want-no-cut.bin" ||
  fail "the job without cutting differs: $(od -c "$cups_dir/qv_plain.out" | head -20)"
check "[r['stat'] for r in reports if r['uk'] == 'sp-no-cut'] == ['1']" || fail "sp-no-cut not reported printed once"
# The scheduler stops while the service runs: the next task fails, and the service goes on.
sh "$(dirname "$0")/../printer/cups_fixture.sh" stop "$cups_dir"
api POST /tasks '{"uni_key": "sp-no-scheduler", "print_type": 2, "print_sn": "qv_plain",
  "print_content": [{"type": 1, "text": "调度程序已停止"}]}' >/dev/null || fail "the simulator refused the task"
wait_for 60 "[r['stat'] for r in reports if r['uk'] == 'sp-no-scheduler'] == ['-1']" ||
  fail "the task for the stopped scheduler was not reported failed"
kill -0 "$service_pid" 2>/dev/null || fail "the service ended"
echo "every queue's device got exactly its bytes; the missing and closed queues and the stopped scheduler failed"
