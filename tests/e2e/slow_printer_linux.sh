#!/usr/bin/env bash
# A network printer that reads 100 bytes a second, and a ticket of about 200 KB: the program
# gives it up and reports it -1, and the printer gets nothing more of it afterwards (the
# connection is reset, not closed in order with the rest still to be delivered).
# Usage: slow_printer_linux.sh <quorvel-print> <quorvel-sim>
set -u
PROGRAM=$1
SIM=$2
SUITE=slowprinter
source "$(dirname "$0")/lib.sh"
printer_pid=
trap '[ -n "$printer_pid" ] && kill "$printer_pid" 2>/dev/null; e2e_cleanup' EXIT

# The printer: reads 10 bytes every 0.1 s until told to read fast, then reads what is left
# and writes how many bytes it got and how the connection ended.
python3 - "$work" <<'EOF' &
import os, socket, sys, time
work = sys.argv[1]
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
s.bind(("127.0.0.77", 9100))
s.listen(4)
open(os.path.join(work, "printer.ready"), "w").close()
s.settimeout(120)
c, _ = s.accept()
got, end = 0, "timeout"
limit = time.time() + 150
while time.time() < limit:
    fast = os.path.exists(os.path.join(work, "printer.fast"))
    try:
        c.settimeout(0.2)
        data = c.recv(65536 if fast else 10)
    except socket.timeout:
        continue
    except ConnectionResetError:
        end = "reset"
        break
    if not data:
        end = "closed"
        break
    got += len(data)
    if not fast:
        time.sleep(0.1)
with open(os.path.join(work, "printer.result"), "w") as f:
    f.write(f"{got} {end}\n")
EOF
printer_pid=$!
for _ in $(seq 50); do [ -f "$work/printer.ready" ] && break; sleep 0.1; done
[ -f "$work/printer.ready" ] || fail "the slow printer did not listen"

start_sim
python3 -c '
import json
print(json.dumps({"uni_key": "s-1", "print_sn": "127.0.0.77", "print_num": 1,
  "print_content": [{"type": 1, "text": f"s-1 第{i}行 " + "鱼香肉丝" * 20} for i in range(2000)]},
  ensure_ascii=False))' | post_tasks
start_service
wait_for 120 "any(r['uk'] == 's-1' for r in reports)" || fail "the ticket was never reported"
check "[r['stat'] for r in reports if r['uk'] == 's-1'] == ['-1']" ||
  fail "the ticket the printer could not take was not reported -1"
touch "$work/printer.fast"
wait "$printer_pid"
read -r got end <"$work/printer.result"
echo "the printer got $got bytes; its connection ended: $end"
[ "$end" = reset ] || fail "the connection of the ticket given up was not reset ($end)"
[ "$got" -lt 150000 ] || fail "the printer got the rest of the ticket given up ($got bytes)"
e2e_stop_service
echo "a ticket given up is reported -1 and never delivered afterwards"
