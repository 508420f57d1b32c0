#!/usr/bin/env bash
# The program against quorvel-sim, on Linux headless or the Windows build under Wine
# (WinHTTP, Winsock, ICMP, GBK conversions of the Windows build; started unattended, "auto",
# on a virtual display): tasks for two network printers and an unreachable one; on Linux also
# both parallel ports (device files), the USB-to-LPT substitute and a port that does not
# exist, then a second run with cutting off. Checks the exact bytes each printer received
# (copies, feeds, cuts), one report per task with the right outcome, the printer list, the
# run log.
# Usage: print.sh linux|wine <quorvel-print[.exe]> <quorvel-sim (Linux)>; wine needs
# WINEPREFIX and, without a display, runs itself under xvfb-run.
set -u
BACKEND=$1
PROGRAM=$2
SIM=$3
if [ "$BACKEND" = wine ] && [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a bash "$0" "$@"; fi
SUITE=print-$BACKEND
source "$(dirname "$0")/lib.sh"
if [ "$BACKEND" = wine ]; then
  source "$(dirname "$0")/wine_lib.sh"
  wine_prefix_ready
  net_a=127.0.0.46 net_b=127.0.0.47 unreachable=127.0.0.48
  start_sim --printers "$net_a,$net_b" --wine-paths
else
  net_a=127.0.0.41 net_b=127.0.0.42 unreachable=127.0.0.49
  start_sim --printers "$net_a,$net_b"
fi
set_config au_row 2
set_config au_c 1

# Every task is one line of JSON in this table; the expected bytes are built from the same
# table below. "lines" is print_content.
cat >"$work/tasks.json" <<EOF
[
 {"uni_key": "e2e-net-a", "print_type": 1, "print_sn": "$net_a", "print_num": 2,
  "print_content": [
   {"type": 1, "bold": 1, "align": 2, "widthEnlarge": 1, "heightEnlarge": 1, "text": "桂香楼 顾客联"},
   {"type": 2, "text": "not printed: type 2"},
   {"type": 1, "bold": 0, "align": 0, "widthEnlarge": 0, "heightEnlarge": 0, "text": "宫保鸡丁  1  38.00"},
   {"type": 1, "bold": 0, "align": 7, "text": "合计：38.00"}]},
 {"uni_key": "e2e-net-b", "print_type": 1, "print_sn": "$net_b", "print_num": 1,
  "sim": {"data_as_string": true},
  "print_content": [
   {"type": 1, "bold": 1, "align": 1, "widthEnlarge": 1, "heightEnlarge": 1, "text": "后厨单 A08"},
   {"type": 1, "bold": 0, "align": 1, "text": "麻婆豆腐 x1  备注：微辣"}]},
 {"uni_key": "e2e-unreachable", "print_type": 1, "print_sn": "$unreachable", "print_num": 1,
  "print_content": [{"type": 1, "text": "无人接收"}]}
]
EOF
# The local ports of the Linux program: LPT1 and LPT2 are files here (the Windows program's
# are tested by local_ports_wine.sh).
if [ "$BACKEND" = linux ]; then
  mkdir -p "$work/lpt"
  : >"$work/lpt/port-a.bin"
  : >"$work/lpt/port-b.bin"
  set_config usbbak 1
  set_config lpt1 "$work/lpt/port-a.bin"
  set_config lpt2 "$work/lpt/port-b.bin"
  python3 - "$work/tasks.json" <<'EOF'
import json, sys
tasks = json.load(open(sys.argv[1]))
tasks += [
 {"uni_key": "e2e-lpt-1", "print_type": 3, "print_sn": "1", "print_num": 1,
  "print_content": [{"type": 1, "bold": 0, "align": 2, "text": "LPT1 小票 😀1"}]},
 {"uni_key": "e2e-lpt-2", "print_type": 3, "print_sn": "2", "print_num": 3,
  "print_content": [{"type": 1, "bold": 1, "align": 3, "text": "LPT2 三联"}]},
 {"uni_key": "e2e-usb", "print_type": 2, "print_sn": "收银台USB", "print_num": 1,
  "print_content": [{"type": 1, "bold": 0, "align": 1, "text": "USB 改走 LPT1"}]},
 {"uni_key": "e2e-lpt-3", "print_type": 3, "print_sn": "3", "print_num": 1,
  "print_content": [{"type": 1, "text": "LPT3 不存在"}]}]
json.dump(tasks, open(sys.argv[1], "w"), ensure_ascii=False)
EOF
fi
task_count=$(python3 -c 'import json, sys; print(len(json.load(open(sys.argv[1]))))' "$work/tasks.json")
api POST /tasks "$(cat "$work/tasks.json")" >/dev/null || fail "the simulator refused the tasks"

start_program
wait_for 90 "len(reports) >= $task_count" || fail "not every task was reported within 90 s"
sleep 2  # a late duplicate report or an extra job would show now
stop_program

python3 - "$work" "$(dirname "$0")" "$net_a" "$net_b" "$BACKEND" <<'EOF' || fail "the printers or the cloud did not get what the tasks asked for"
import json, sys
sys.path.insert(0, sys.argv[2])
from receipt_bytes import expected as expected_of, network_job, received as received_in
work, net_a, net_b, backend = sys.argv[1], sys.argv[3], sys.argv[4], sys.argv[5]
tasks = {t["uni_key"]: t for t in json.load(open(f"{work}/tasks.json"))}
expected = lambda key: expected_of(tasks[key], feed=2, cut=True)
network = lambda key: network_job(tasks[key], feed=2, cut=True)
received = lambda printer: received_in(f"{work}/sim/jobs", printer)

problems = []
def same(what, got, want):
    if got != want:
        problems.append(f"{what}:\n  got  {got!r}\n  want {want!r}")

same(f"{net_a} jobs", received(net_a), [network("e2e-net-a")])
same(f"{net_b} jobs", received(net_b), [network("e2e-net-b")])
if backend == "linux":
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
python3 - "$admin" "$work" <<'EOF' || fail "the reports or the printer list are wrong"
import json, sys, urllib.request
admin, work = sys.argv[1], sys.argv[2]
get = lambda p: json.load(urllib.request.urlopen(admin + p, timeout=10))
fails = {"e2e-unreachable", "e2e-lpt-3"}
want = {t["uni_key"]: "-1" if t["uni_key"] in fails else "1"
        for t in json.load(open(f"{work}/tasks.json"))}
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

# Second run of the Linux program with cutting off and more feed lines than are used (at
# most 15).
if [ "$BACKEND" = linux ]; then
  set_config au_c 0
  set_config au_row 20
  start_program
  api POST /tasks "{\"uni_key\": \"e2e-no-cut\", \"print_sn\": \"$net_a\", \"print_num\": 2,
    \"print_content\": [{\"type\": 1, \"bold\": 0, \"align\": 1, \"text\": \"不切纸 两份\"}]}" >/dev/null
  wait_for 60 "len(reports) >= $((task_count + 1))" || fail "no report for the task without cutting"
  stop_program
  python3 - "$work" "$(dirname "$0")" "$net_a" <<'EOF' || fail "cutting off / feed limit not as configured"
import sys
sys.path.insert(0, sys.argv[2])
from receipt_bytes import network_job, received
task = {"print_num": 2, "print_content": [{"type": 1, "bold": 0, "align": 1, "text": "不切纸 两份"}]}
got, want = received(f"{sys.argv[1]}/sim/jobs", sys.argv[3])[-1], network_job(task, feed=15, cut=False)
if got != want:
    print(f"got  {got!r}\nwant {want!r}")
    sys.exit(1)
EOF
fi

# One run-log entry for each failure that the program writes down: the unreachable printer.
logs=$(run_log)
grep -q "IP打印机\[$unreachable\]连接失败" <<<"$logs" || fail "no run-log entry for the unreachable printer"
ls "$work"/run/log | grep -Eq '^[0-9]{4}(_[0-9]{1,2}){5}\.log$' || fail "no run-log file named by its second"
echo "every printer got exactly its bytes; reports, printer list and run log as expected"
