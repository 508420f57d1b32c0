#!/usr/bin/env bash
# The Linux program, headless, against quorvel-sim: tasks for two network printers, both
# parallel ports (device files), the USB-to-LPT substitute, an unreachable printer and a
# port that does not exist. Checks the exact bytes each printer received (copies, feeds,
# cuts), one report per task with the right outcome, the printer list, the run log.
# Usage: print_linux.sh <quorvel-print> <quorvel-sim>
set -u
PROGRAM=$1
SIM=$2
SUITE=print
source "$(dirname "$0")/lib.sh"

start_sim --printers 127.0.0.41,127.0.0.42
mkdir -p "$work/lpt"
: >"$work/lpt/port-a.bin"
: >"$work/lpt/port-b.bin"
set_config au_row 2
set_config au_c 1
set_config usbbak 1
set_config lpt1 "$work/lpt/port-a.bin"
set_config lpt2 "$work/lpt/port-b.bin"

# Every task is one line of JSON in this table; the expected bytes are built from the same
# table below. "lines" is print_content.
cat >"$work/tasks.json" <<'EOF'
[
 {"uni_key": "e2e-net-a", "print_type": 1, "print_sn": "127.0.0.41", "print_num": 2,
  "print_content": [
   {"type": 1, "bold": 1, "align": 2, "widthEnlarge": 1, "heightEnlarge": 1, "text": "桂香楼 顾客联"},
   {"type": 2, "text": "not printed: type 2"},
   {"type": 1, "bold": 0, "align": 0, "widthEnlarge": 0, "heightEnlarge": 0, "text": "宫保鸡丁  1  38.00"},
   {"type": 1, "bold": 0, "align": 7, "text": "合计：38.00"}]},
 {"uni_key": "e2e-net-b", "print_type": 1, "print_sn": "127.0.0.42", "print_num": 1,
  "sim": {"data_as_string": true},
  "print_content": [
   {"type": 1, "bold": 1, "align": 1, "widthEnlarge": 1, "heightEnlarge": 1, "text": "后厨单 A08"},
   {"type": 1, "bold": 0, "align": 1, "text": "麻婆豆腐 x1  备注：微辣"}]},
 {"uni_key": "e2e-lpt-1", "print_type": 3, "print_sn": "1", "print_num": 1,
  "print_content": [{"type": 1, "bold": 0, "align": 2, "text": "LPT1 小票 😀1"}]},
 {"uni_key": "e2e-lpt-2", "print_type": 3, "print_sn": "2", "print_num": 3,
  "print_content": [{"type": 1, "bold": 1, "align": 3, "text": "LPT2 三联"}]},
 {"uni_key": "e2e-usb", "print_type": 2, "print_sn": "收银台USB", "print_num": 1,
  "print_content": [{"type": 1, "bold": 0, "align": 1, "text": "USB 改走 LPT1"}]},
 {"uni_key": "e2e-unreachable", "print_type": 1, "print_sn": "127.0.0.49", "print_num": 1,
  "print_content": [{"type": 1, "text": "无人接收"}]},
 {"uni_key": "e2e-lpt-3", "print_type": 3, "print_sn": "3", "print_num": 1,
  "print_content": [{"type": 1, "text": "LPT3 不存在"}]}
]
EOF
api POST /tasks "$(cat "$work/tasks.json")" >/dev/null || fail "the simulator refused the tasks"

start_service
wait_for 90 'len(reports) >= 7' || fail "not every task was reported within 90 s"
sleep 2  # a late duplicate report or an extra job would show now
e2e_stop_service

python3 - "$work" "$(dirname "$0")" <<'EOF' || fail "the printers or the cloud did not get what the tasks asked for"
import json, sys
sys.path.insert(0, sys.argv[2])
from receipt_bytes import expected as expected_of, network_job, received as received_in
work = sys.argv[1]
tasks = {t["uni_key"]: t for t in json.load(open(f"{work}/tasks.json"))}
expected = lambda key: expected_of(tasks[key], feed=2, cut=True)
network = lambda key: network_job(tasks[key], feed=2, cut=True)
received = lambda printer: received_in(f"{work}/sim/jobs", printer)

problems = []
def same(what, got, want):
    if got != want:
        problems.append(f"{what}:\n  got  {got!r}\n  want {want!r}")

same("127.0.0.41 jobs", received("127.0.0.41"), [network("e2e-net-a")])
same("127.0.0.42 jobs", received("127.0.0.42"), [network("e2e-net-b")])
same("LPT1 device", open(f"{work}/lpt/port-a.bin", "rb").read(),
     expected("e2e-lpt-1") + expected("e2e-usb"))
same("LPT2 device", open(f"{work}/lpt/port-b.bin", "rb").read(), expected("e2e-lpt-2"))
# An emoji has no GBK form: it goes out as "?"
if b"LPT1 \xd0\xa1\xc6\xb1 ?1" not in open(f"{work}/lpt/port-a.bin", "rb").read():
    problems.append("LPT1: the unmappable character is not a question mark")

for p in problems:
    print(p)
sys.exit(1 if problems else 0)
EOF
python3 - "$admin" <<'EOF' || fail "the reports or the printer list are wrong"
import json, sys, urllib.request
admin = sys.argv[1]
get = lambda p: json.load(urllib.request.urlopen(admin + p, timeout=10))
want = {"e2e-net-a": "1", "e2e-net-b": "1", "e2e-lpt-1": "1", "e2e-lpt-2": "1",
        "e2e-usb": "1", "e2e-unreachable": "-1", "e2e-lpt-3": "-1"}
reports = get("/reports")
got = {}
for r in reports:
    got.setdefault(r["uk"], []).append(r["stat"])
problems = [f"{k}: reports {got.get(k)}, want [{v}]" for k, v in want.items() if got.get(k) != [v]]
problems += [f"unexpected report for {k}" for k in got if k not in want]
lists = get("/printer-lists")
if not lists:
    problems.append("no printer list reached the cloud")
elif not all(l["list_is_json"] and len(l["mac"]) == 17 for l in lists):
    problems.append(f"printer list malformed: {lists}")
for p in problems:
    print(p)
sys.exit(1 if problems else 0)
EOF

# Second run with cutting off and more feed lines than are used (at most 15).
set_config au_c 0
set_config au_row 20
start_service
api POST /tasks '{"uni_key": "e2e-no-cut", "print_sn": "127.0.0.41", "print_num": 2,
  "print_content": [{"type": 1, "bold": 0, "align": 1, "text": "不切纸 两份"}]}' >/dev/null
wait_for 60 'len(reports) >= 8' || fail "no report for the task without cutting"
e2e_stop_service
python3 - "$work" "$(dirname "$0")" <<'EOF' || fail "cutting off / feed limit not as configured"
import sys
sys.path.insert(0, sys.argv[2])
from receipt_bytes import network_job, received
task = {"print_num": 2, "print_content": [{"type": 1, "bold": 0, "align": 1, "text": "不切纸 两份"}]}
got, want = received(f"{sys.argv[1]}/sim/jobs", "127.0.0.41")[-1], network_job(task, feed=15, cut=False)
if got != want:
    print(f"got  {got!r}\nwant {want!r}")
    sys.exit(1)
EOF

# One run-log entry for each failure that the program writes down: the unreachable printer.
logs=$(run_log)
grep -q 'IP打印机\[127.0.0.49\]连接失败' <<<"$logs" || fail "no run-log entry for the unreachable printer"
ls "$work"/run/log | grep -Eq '^[0-9]{4}(_[0-9]{1,2}){5}\.log$' || fail "no run-log file named by its second"
echo "every printer got exactly its bytes; reports, printer list and run log as expected"
