# Helpers of the newcomer window tests (sourced after gui_lib.sh; bash): the simulator (a
# cloud on loopback HTTPS with its admin interface, and one virtual network printer), a
# loopback page for the cashier window and the checks both programs pass. Sets work, sim_pid,
# admin, cloud_port, ca_pem, page_url; stop_newcomer_world stops what was started here. The
# test sets program_pid (the program), store and printer.

work=$(mktemp -d "/tmp/qv-newcomer.XXXXXX")
sim_pid=
page_pid=
tray_pid=

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

stop_pid() {  # pid: TERM, then KILL after 5 s
  [ -n "$1" ] || return 0
  kill -TERM "$1" 2>/dev/null || return 0
  for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
  kill -KILL "$1" 2>/dev/null
}

# fail MESSAGE: says what failed with the windows, the program's output, the tray's and the
# simulator's log, and ends the test.
fail() {
  echo "FAIL: $*"
  echo "--- windows: $(window_list)"
  echo "--- program output"; tail -n 30 "$work/program.log" 2>/dev/null
  echo "--- tray output"; tail -n 10 "$work/tray.log" 2>/dev/null
  echo "--- simulator log"; tail -n 40 "$work/sim.log" 2>/dev/null
  echo "--- run log"
  for f in "$work"/run/log/*.log; do [ -f "$f" ] && iconv -f GBK -t UTF-8 "$f" && echo; done
  exit 1
}

stop_newcomer_world() {
  stop_pid "$tray_pid"
  stop_pid "$page_pid"
  stop_pid "$sim_pid"
  wait 2>/dev/null
  rm -rf "$work"
}

# start_sim SIM STORE PRINTER: the simulator serving STORE, with one printer at PRINTER.
start_sim() {
  local admin_port
  admin_port=$(free_port)
  cloud_port=$(free_port)
  admin=http://127.0.0.1:$admin_port
  "$1" demo --tasks 0 --dir "$work/sim" --sid "$2" --printers "$3" --cloud-port "$cloud_port" \
    --admin-port "$admin_port" --quiet-receipts </dev/null >"$work/sim.log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 150); do
    grep -q '\[sim\] ready' "$work/sim.log" && break
    kill -0 "$sim_pid" 2>/dev/null || fail "the simulator did not start: $(cat "$work/sim.log")"
    sleep 0.1
  done
  grep -q '\[sim\] ready' "$work/sim.log" || fail "the simulator was not ready after 15 s"
  ca_pem=$work/sim/certs/ca.pem
}

api() {  # METHOD PATH [JSON BODY]
  if [ $# -ge 3 ]; then
    curl -sf --max-time 10 -X "$1" -H 'Content-Type: application/json' --data-binary "$3" "$admin$2"
  else
    curl -sf --max-time 10 -X "$1" "$admin$2"
  fi
}

# sim_check PYTHON-EXPRESSION: true when it holds for the simulator's records now; it sees
# tasks, reports, jobs, lists (the parsed /tasks, /reports, /jobs, /printer-lists) and
# report(key), the reports of one task.
sim_check() {
  python3 - "$admin" "$1" <<'PY'
import json, sys, urllib.request
admin, expr = sys.argv[1], sys.argv[2]
def get(path):
    with urllib.request.urlopen(admin + path, timeout=10) as r:
        return json.load(r)
tasks, reports, jobs, lists = get("/tasks"), get("/reports"), get("/jobs"), get("/printer-lists")
report = lambda key: [r for r in reports if r["uk"] == key]
sys.exit(0 if eval(expr) else 1)
PY
}

# sim_wait SECONDS PYTHON-EXPRESSION: polls until the expression holds.
sim_wait() {
  local deadline=$((SECONDS + $1))
  while [ $SECONDS -lt $deadline ]; do
    sim_check "$2" 2>/dev/null && return 0
    sleep 0.5
  done
  return 1
}

# sim_value PYTHON-EXPRESSION: prints the expression's value (same names as sim_check).
sim_value() {
  python3 - "$admin" "$1" <<'PY'
import json, sys, urllib.request
admin, expr = sys.argv[1], sys.argv[2]
def get(path):
    with urllib.request.urlopen(admin + path, timeout=10) as r:
        return json.load(r)
tasks, reports, jobs, lists = get("/tasks"), get("/reports"), get("/jobs"), get("/printer-lists")
report = lambda key: [r for r in reports if r["uk"] == key]
print(eval(expr))
PY
}

# add_task KEY PRINTER TEXT: one network print task with one line of text.
add_task() {
  api POST /tasks "{\"uni_key\": \"$1\", \"print_type\": 1, \"print_sn\": \"$2\", \"print_num\": 1,
    \"print_content\": [{\"type\": 1, \"bold\": 1, \"align\": 2, \"text\": \"$3\"}]}" >/dev/null ||
    fail "the simulator refused task $1"
}

# start_page TITLE: serves a cashier page with that title on loopback; sets page_url.
start_page() {
  mkdir -p "$work/site"
  printf '<!doctype html><html><head><meta charset="utf-8"><title>%s</title></head><body><h1>%s</h1></body></html>' \
    "$1" "$1" >"$work/site/index.html"
  python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$work/site" >"$work/page.log" 2>&1 &
  page_pid=$!
  local port=
  for _ in $(seq 100); do
    port=$(sed -n 's/.*port \([0-9]*\).*/\1/p' "$work/page.log" 2>/dev/null | head -1)
    [ -n "$port" ] && break
    sleep 0.1
  done
  [ -n "$port" ] || fail "the page server did not start: $(cat "$work/page.log")"
  page_url=http://127.0.0.1:$port/index.html
}

# ini_value FILE KEY: the value of KEY in an INI file with CRLF or LF lines.
ini_value() {
  tr -d '\r' <"$1" | sed -n "s/^$2=//p" | tail -1
}

now_ms() { date +%s%3N; }

# wait_log FILE TEXT SECONDS: waits until a line of FILE holds TEXT.
wait_log() {
  for _ in $(seq $(($3 * 5))); do
    grep -qF "$2" "$1" 2>/dev/null && return 0
    sleep 0.2
  done
  return 1
}

# type_store_information: the loopback cloud's address and the store ID typed into the boxes
# of 设置 ($config).
type_store_information() {
  click_tab "$config" 300 26  # server box at (102, 10), 392 x 32
  xdotool type --delay 20 "localhost:$cloud_port"
  click_tab "$config" 170 64  # store box at (102, 48), 151 x 32
  xdotool type --delay 20 "$store"
}

# After 保存: the 完成 box, server and sid in config.ini, and the printer list in the cloud.
# Uses work, cloud_port and store of the calling test.
expect_store_saved() {
  answer_box '^完成$' 30 || fail "saving showed no 完成 box"
  [ "$(ini_value "$work/run/config.ini" server)" = "localhost:$cloud_port" ] &&
    [ "$(ini_value "$work/run/config.ini" sid)" = "$store" ] ||
    fail "config.ini after saving: $(tr -d '\r' <"$work/run/config.ini")"
  sim_wait 10 'len(lists) == 1' || fail "the cloud recorded no printer list for the save"
  echo "store configured: config.ini has server and sid, the cloud has the printer list"
}

# expect_first_task_printed SECONDS: a task for the test's printer prints and is reported 1.
expect_first_task_printed() {
  add_task newcomer-1 "$printer" "新店开张 第一单"
  sim_wait "$1" 'any(r["stat"] == "1" for r in report("newcomer-1"))' ||
    fail "the first task was not reported printed: $(sim_value 'reports')"
  sim_check 'any("新店开张 第一单" in j["lines"] for j in jobs if j["printer"] == "'$printer'")' ||
    fail "the printer did not print the first task: $(sim_value 'jobs')"
  echo "the started service printed the first task and reported it"
}

# expect_end_after_report REPORT_WAIT END_WAIT LIMIT_MS CLOSE...: the cloud answers the next
# report 6 s late, so the print run of a new task lasts that long; while its report hangs the
# command CLOSE... closes the cashier window. The program must end after that task is printed
# and reported printed, and at most LIMIT_MS after the report (seconds for the waits).
expect_end_after_report() {
  local report_wait=$1 end_wait=$2 limit_ms=$3
  shift 3
  api POST /faults '{"kind": "slow", "endpoint": "report", "delay_ms": 6000, "count": 1}' >/dev/null ||
    fail "the simulator refused the fault"
  add_task newcomer-2 "$printer" "第二单 慢回执"
  wait_log "$work/sim.log" 'POST report: answering 6000 ms late' "$report_wait" ||
    fail "the second task's report did not come"
  "$@"
  local closed_ms ended_ms reported_ms deadline=$((SECONDS + end_wait))
  closed_ms=$(now_ms)
  while kill -0 "$program_pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.1; done
  ended_ms=$(now_ms)
  kill -0 "$program_pid" 2>/dev/null &&
    fail "the program still runs $end_wait s after its window was closed"
  wait "$program_pid" 2>/dev/null
  program_pid=
  reported_ms=$(sim_value 'report("newcomer-2")[0]["time_ms"] if report("newcomer-2") else 0')
  [ "$reported_ms" -gt 0 ] || fail "the program ended without reporting the task under way"
  sim_check 'report("newcomer-2")[0]["stat"] == "1"' || fail "the task under way was not reported printed"
  sim_check 'any("第二单 慢回执" in j["lines"] for j in jobs)' || fail "the second task was not printed"
  [ "$ended_ms" -ge "$reported_ms" ] || fail "the program ended before the report of the task under way"
  [ $((ended_ms - reported_ms)) -le "$limit_ms" ] ||
    fail "the program ended $((ended_ms - reported_ms)) ms after the last report"
  echo "closed at $closed_ms; reported at $reported_ms; ended at $ended_ms" \
    "($((ended_ms - reported_ms)) ms after the report)"
}
