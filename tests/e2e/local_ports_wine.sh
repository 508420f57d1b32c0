#!/usr/bin/env bash
# The Windows program under Wine printing on local printers: two spooler queues, one with
# a Chinese name (winspool, which Wine hands to a private CUPS scheduler through
# CUPS_SERVER), a queue that does not exist, LPT1 (Wine's dosdevices/lpt1, linked to a file
# of the suite), an LPT2 that does not open and LPT3, which no machine has. Checks the exact
# bytes the queues' devices and the port file received, one report per task with the right
# outcome, and the run log. A CUPS queue refusing jobs is left out: Wine's EndDocPrinter
# hands the job to the scheduler after the program is done with it and reports success
# whatever the scheduler answers (Windows' own spooler would keep such a job queued).
# Usage: local_ports_wine.sh <quorvel-print.exe> <quorvel-sim (Linux)>; needs WINEPREFIX.
# Without a display it runs itself under xvfb-run.
set -u
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a bash "$0" "$@"; fi
PROGRAM=$1
SIM=$2
SUITE=wine-ports
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/wine_lib.sh"

start_cups
add_cups_queue 收银台 "$cups_dir/cashier.out"  # a queue named as shops name them
wine_prefix_ready
# The program opens \\.\LPT1 and \\.\LPT2 itself (no lpt keys in config.ini): Wine's ports
# are these links, LPT2's to a file that can not exist.
: >"$work/lpt1.out"
ln -sfn "$work/lpt1.out" "$WINEPREFIX/dosdevices/lpt1"
ln -sfn "$work/no-such-dir/lpt2.out" "$WINEPREFIX/dosdevices/lpt2"

start_sim --printers 127.0.0.56 --wine-paths  # no network task; the simulator wants one printer
set_config au_row 2
set_config au_c 1

cat >"$work/tasks.json" <<'EOF'
[
 {"uni_key": "w-spool", "print_type": 2, "print_sn": "qv_receipt", "print_num": 2,
  "print_content": [
   {"type": 1, "bold": 1, "align": 2, "widthEnlarge": 1, "heightEnlarge": 1, "text": "桂香楼 顾客联"},
   {"type": 1, "bold": 0, "align": 1, "text": "宫保鸡丁  1  38.00"},
   {"type": 1, "bold": 0, "align": 3, "text": "合计：38.00"}]},
 {"uni_key": "w-spool-cashier", "print_type": 2, "print_sn": "收银台", "print_num": 1,
  "print_content": [{"type": 1, "bold": 0, "align": 2, "text": "收银台小票 合计：12.50"}]},
 {"uni_key": "w-spool-missing", "print_type": 2, "print_sn": "qv_nosuch", "print_num": 1,
  "print_content": [{"type": 1, "text": "无此打印机"}]},
 {"uni_key": "w-lpt1", "print_type": 3, "print_sn": "1", "print_num": 2,
  "print_content": [{"type": 1, "bold": 1, "align": 2, "heightEnlarge": 1, "text": "LPT1 后厨单 A08"},
                    {"type": 1, "text": "麻婆豆腐 x1  备注：微辣"}]},
 {"uni_key": "w-lpt2-missing", "print_type": 3, "print_sn": "2", "print_num": 1,
  "print_content": [{"type": 1, "text": "LPT2 打不开"}]},
 {"uni_key": "w-lpt3", "print_type": 3, "print_sn": "3", "print_num": 1,
  "print_content": [{"type": 1, "text": "LPT3 不存在"}]}
]
EOF
api POST /tasks "$(cat "$work/tasks.json")" >/dev/null || fail "the simulator refused the tasks"
python3 - "$work" "$(dirname "$0")" <<'EOF' || fail "cannot build the expected bytes"
import json, sys
sys.path.insert(0, sys.argv[2])
from receipt_bytes import expected
work = sys.argv[1]
tasks = {t["uni_key"]: t for t in json.load(open(f"{work}/tasks.json"))}
open(f"{work}/want-spool.bin", "wb").write(expected(tasks["w-spool"], 2, True))
open(f"{work}/want-lpt1.bin", "wb").write(expected(tasks["w-lpt1"], 2, True))
open(f"{work}/want-cashier.bin", "wb").write(expected(tasks["w-spool-cashier"], 2, True))
EOF

start_wine_service
wait_for 120 'len(reports) >= 6' || fail "not every task was reported within 120 s"
# The scheduler runs the backend some time after Wine handed the job over.
wait_for_size 60 "$cups_dir/qv_receipt.out" "$(stat -c %s "$work/want-spool.bin")" ||
  fail "qv_receipt's device did not get the whole job"
wait_for_size 60 "$cups_dir/cashier.out" "$(stat -c %s "$work/want-cashier.bin")" ||
  fail "收银台's device did not get the whole job"
sleep 2  # a late duplicate report or a second job would show now

cmp "$cups_dir/qv_receipt.out" "$work/want-spool.bin" ||
  fail "qv_receipt's device bytes differ: $(od -c "$cups_dir/qv_receipt.out" | head -20)"
cmp "$cups_dir/cashier.out" "$work/want-cashier.bin" ||
  fail "收银台's device bytes differ: $(od -c "$cups_dir/cashier.out" | head -20)"
cmp "$work/lpt1.out" "$work/want-lpt1.bin" ||
  fail "LPT1 bytes differ: $(od -c "$work/lpt1.out" | head -20)"
python3 - "$admin" <<'EOF' || fail "the reports are wrong"
import json, sys, urllib.request
reports = json.load(urllib.request.urlopen(sys.argv[1] + "/reports", timeout=10))
got = {}
for r in reports:
    got.setdefault(r["uk"], []).append(r["stat"])
want = {"w-spool": ["1"], "w-spool-cashier": ["1"], "w-spool-missing": ["-1"], "w-lpt1": ["1"],
        "w-lpt2-missing": ["-1"], "w-lpt3": ["-1"]}
if got != want:
    print(f"reports {got}, want {want}")
    sys.exit(1)
EOF
logs=$(run_log)
grep -q 'USB打印机\[qv_nosuch\]连接失败' <<<"$logs" || fail "no run-log entry for the missing queue"
grep -q 'LPT打印机\[LPT2\]连接失败' <<<"$logs" || fail "no run-log entry for the LPT2 that did not open"
# LPT3 is refused before any port is opened: nothing to log.
grep -q 'LPT3' <<<"$logs" && fail "a run-log entry for LPT3, which is refused without an open"
echo "the Windows program printed exactly the expected bytes on the spooler queue and LPT1"
