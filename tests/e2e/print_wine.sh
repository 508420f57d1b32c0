#!/usr/bin/env bash
# The Windows program under Wine (WinHTTP, Winsock, ICMP, GBK conversions of the Windows
# build) against quorvel-sim: started unattended ("auto") on a virtual display, it prints
# on two network printers and fails a task for an unreachable one. Checks the exact bytes,
# one report per task, the printer list and the run log.
# Usage: print_wine.sh <quorvel-print.exe> <quorvel-sim (Linux)>; needs WINEPREFIX. Without
# a display it runs itself under xvfb-run, so that the display goes when the suite ends.
set -u
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a bash "$0" "$@"; fi
PROGRAM=$1
SIM=$2
SUITE=wine
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/wine_lib.sh"

start_sim --printers 127.0.0.46,127.0.0.47 --wine-paths
set_config au_row 2
set_config au_c 1

cat >"$work/tasks.json" <<'EOF'
[
 {"uni_key": "wine-net-a", "print_type": 1, "print_sn": "127.0.0.46", "print_num": 2,
  "print_content": [
   {"type": 1, "bold": 1, "align": 2, "widthEnlarge": 1, "heightEnlarge": 1, "text": "桂香楼 顾客联"},
   {"type": 1, "bold": 0, "align": 1, "text": "宫保鸡丁  1  38.00"},
   {"type": 1, "bold": 0, "align": 3, "text": "合计：38.00"}]},
 {"uni_key": "wine-net-b", "print_type": 1, "print_sn": "127.0.0.47", "print_num": 1,
  "sim": {"data_as_string": true},
  "print_content": [{"type": 1, "bold": 1, "align": 1, "widthEnlarge": 1, "text": "后厨单 A08"},
                    {"type": 1, "text": "麻婆豆腐 x1  备注：微辣"}]},
 {"uni_key": "wine-unreachable", "print_type": 1, "print_sn": "127.0.0.48", "print_num": 1,
  "print_content": [{"type": 1, "text": "无人接收"}]}
]
EOF
api POST /tasks "$(cat "$work/tasks.json")" >/dev/null || fail "the simulator refused the tasks"

start_wine_service
wait_for 90 'len(reports) >= 3' || fail "not every task was reported within 90 s"
sleep 2

python3 - "$work" "$(dirname "$0")" "$admin" <<'EOF' || fail "the printers or the cloud did not get what the tasks asked for"
import json, sys, urllib.request
sys.path.insert(0, sys.argv[2])
from receipt_bytes import network_job, received
work, admin = sys.argv[1], sys.argv[3]
tasks = {t["uni_key"]: t for t in json.load(open(f"{work}/tasks.json"))}
get = lambda p: json.load(urllib.request.urlopen(admin + p, timeout=10))
problems = []
for printer, key in (("127.0.0.46", "wine-net-a"), ("127.0.0.47", "wine-net-b")):
    got, want = received(f"{work}/sim/jobs", printer), [network_job(tasks[key], 2, True)]
    if got != want:
        problems.append(f"{printer}:\n  got  {got!r}\n  want {want!r}")
stats = {}
for r in get("/reports"):
    stats.setdefault(r["uk"], []).append(r["stat"])
want = {"wine-net-a": ["1"], "wine-net-b": ["1"], "wine-unreachable": ["-1"]}
if stats != want:
    problems.append(f"reports {stats}, want {want}")
lists = get("/printer-lists")
if not lists or not all(l["list_is_json"] for l in lists):
    problems.append(f"printer list: {lists}")
for p in problems:
    print(p)
sys.exit(1 if problems else 0)
EOF
logs=$(run_log)
grep -q 'IP打印机\[127.0.0.48\]连接失败' <<<"$logs" || fail "no run-log entry for the unreachable printer"
echo "the Windows program printed exactly the expected bytes and reported every task"
