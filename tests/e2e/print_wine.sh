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
[ -x "$SIM" ] || { echo "FAIL: $SIM is missing (build the linux tree first)"; exit 1; }
source "$(dirname "$0")/lib.sh"

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

# Other tests run the program in the same Wine prefix; a start that meets their instance
# ends at once (unattended: no message box), so it is tried again.
cp "$PROGRAM" "$work/run/quorvel-print.exe"
wine_pid=
stop_wine() {
  [ -n "$wine_pid" ] && kill -KILL "$wine_pid" 2>/dev/null
  [ -n "$wine_pid" ] && wait "$wine_pid" 2>/dev/null
  wine_pid=
}
trap 'stop_wine; e2e_cleanup' EXIT
for attempt in 1 2 3 4 5 6; do
  (cd "$work/run" && exec wine ./quorvel-print.exe auto) \
    </dev/null >>"$work/service.out" 2>&1 &
  wine_pid=$!
  if wait_for 60 'len(lists) >= 1 or len(reports) >= 1'; then break; fi
  kill -0 "$wine_pid" 2>/dev/null && fail "the program under Wine is running but never reached the cloud"
  wait "$wine_pid" 2>/dev/null
  wine_pid=
  echo "start $attempt ended early (another instance in this prefix?); trying again"
  sleep 10
done
[ -n "$wine_pid" ] || fail "the program under Wine did not start"
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
logs=$(for f in "$work"/run/log/*.log; do iconv -f GBK -t UTF-8 "$f"; echo; done)
grep -q 'IP打印机\[127.0.0.48\]连接失败' <<<"$logs" || fail "no run-log entry for the unreachable printer"
echo "the Windows program printed exactly the expected bytes and reported every task"
