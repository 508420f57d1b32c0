# Shared helpers of the end-to-end suites: the whole print service against quorvel-sim.
# Source it after setting SIM (the quorvel-sim binary); every suite gets a work directory,
# its own ports and loopback printer addresses, and a clean-up that stops what it started.

work=$(mktemp -d "/tmp/qv-e2e-${SUITE:-suite}.XXXXXX")
sim_pid=
service_pid=
admin=
keep_work=${QV_E2E_KEEP:-0}  # 1: leave the work directory for a look after the run
cups_dir=

e2e_stop_pid() {  # pid: TERM, then KILL after 5 s
  local pid=$1
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
  kill -KILL "$pid" 2>/dev/null
}

e2e_cleanup() {
  e2e_stop_service
  e2e_stop_pid "$sim_pid"
  [ -n "$sim_pid" ] && wait "$sim_pid" 2>/dev/null
  [ -n "$cups_dir" ] && sh "$(dirname "${BASH_SOURCE[0]}")/../printer/cups_fixture.sh" stop "$cups_dir"
  [ $keep_work -eq 1 ] || rm -rf "$work"
}
trap e2e_cleanup EXIT

fail() {
  echo "FAIL: $*"
  echo "--- simulator log (last 80 lines)"
  tail -n 80 "$work/sim.log" 2>/dev/null
  echo "--- service output"
  tail -n 40 "$work/service.out" 2>/dev/null
  echo "--- run log"
  for f in "$work"/run/log/*; do
    [ -f "$f" ] && { echo "$(basename "$f"):"; iconv -f GBK -t UTF-8 "$f"; echo; }
  done
  exit 1
}

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# start_sim ARGS...: quorvel-sim demo (cloud, printers, admin) with no sample tasks, writing
# the service's config.ini into $work/run.
start_sim() {
  local admin_port cloud_port
  admin_port=$(free_port)
  cloud_port=$(free_port)
  admin=http://127.0.0.1:$admin_port
  mkdir -p "$work/run"
  "$SIM" demo --tasks 0 --dir "$work/sim" --cloud-port "$cloud_port" --admin-port "$admin_port" \
    --write-config "$work/run" --poll-seconds 1 "$@" </dev/null >"$work/sim.log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do
    grep -q '\[sim\] ready' "$work/sim.log" && return 0
    grep -q '\[sim\] cannot start' "$work/sim.log" && fail "quorvel-sim could not start"
    kill -0 "$sim_pid" 2>/dev/null || fail "quorvel-sim did not start"
    sleep 0.1
  done
  fail "quorvel-sim not ready after 10 s"
}

# set_config KEY VALUE: replaces or adds a key of $work/run/config.ini (CRLF lines).
set_config() {
  local file=$work/run/config.ini
  if grep -q "^$1=" "$file"; then
    sed -i "s|^$1=.*\r\$|$1=$2\r|" "$file"
  else
    printf '%s=%s\r\n' "$1" "$2" >>"$file"
  fi
}

# start_service: the Linux program, copied beside its config.ini, headless.
start_service() {
  cp -n "$PROGRAM" "$work/run/quorvel-print" 2>/dev/null
  mkdir -p "$work/runtime"
  chmod 700 "$work/runtime"
  (cd "$work/run" && XDG_RUNTIME_DIR=$work/runtime exec ./quorvel-print --headless) \
    </dev/null >>"$work/service.out" 2>&1 &
  service_pid=$!
}

e2e_stop_service() {
  if [ -n "$service_pid" ]; then
    e2e_stop_pid "$service_pid"
    wait "$service_pid" 2>/dev/null
    service_pid=
  fi
}

# The suites that run on both systems take the backend as their first argument: linux (the
# program headless) or wine (the Windows program under Wine, started unattended; wine_lib.sh,
# sourced after this file). They reach the program through these three.
start_program() {  # returns once started; under Wine once it has talked to the cloud
  if [ "${BACKEND:-linux}" = wine ]; then start_wine_service; else start_service; fi
}
stop_program() {  # Linux: an orderly end; Wine: a kill, as the suites need no orderly exit there
  if [ "${BACKEND:-linux}" = wine ]; then stop_wine_service; else e2e_stop_service; fi
}
program_pid() {
  if [ "${BACKEND:-linux}" = wine ]; then echo "$wine_pid"; else echo "$service_pid"; fi
}

api() {  # METHOD PATH [BODY]
  if [ $# -ge 3 ]; then
    curl -sf --max-time 10 -X "$1" -H 'Content-Type: application/json' --data-binary "$3" "$admin$2"
  else
    curl -sf --max-time 10 -X "$1" "$admin$2"
  fi
}

# wait_for SECONDS PYTHON-EXPRESSION: polls the admin interface until the expression is true;
# it sees tasks, reports, jobs (parsed JSON of /tasks, /reports, /jobs).
wait_for() {
  local seconds=$1 expr=$2
  local deadline=$((SECONDS + seconds))
  while [ $SECONDS -lt $deadline ]; do
    if check "$expr" 2>/dev/null; then return 0; fi
    sleep 0.5
  done
  return 1
}

# check PYTHON-EXPRESSION: true when the expression holds for the simulator's records now.
check() {
  python3 - "$admin" "$1" <<'EOF'
import json, sys, urllib.request
admin, expr = sys.argv[1], sys.argv[2]
def get(path):
    with urllib.request.urlopen(admin + path, timeout=10) as r:
        return json.load(r)
tasks, reports, jobs = get("/tasks"), get("/reports"), get("/jobs")
lists = get("/printer-lists")
sys.exit(0 if eval(expr) else 1)
EOF
}

# start_cups: a private CUPS scheduler in $work/cups with the raw queues qv_receipt and
# qv_plain, whose devices are the files $work/cups/<queue>.out; CUPS_SERVER points the
# programs started afterwards at it. The clean-up stops it.
start_cups() {
  cups_dir=$work/cups
  chmod 755 "$work"  # the backend writes the device files as the unprivileged lp user
  sh "$(dirname "${BASH_SOURCE[0]}")/../printer/cups_fixture.sh" start "$cups_dir" \
    >"$work/cups-start.log" 2>&1 || { cat "$work/cups-start.log"; fail "the CUPS scheduler did not start"; }
  export CUPS_SERVER=$cups_dir/cups.sock
}

# wait_for_size SECONDS FILE BYTES: waits until FILE holds at least BYTES bytes (a spooled
# job reaches its device some time after the service handed it over).
wait_for_size() {
  local deadline=$((SECONDS + $1))
  while [ $SECONDS -lt $deadline ]; do
    [ "$(stat -c %s "$2" 2>/dev/null || echo 0)" -ge "$3" ] && return 0
    sleep 0.5
  done
  return 1
}

# add_cups_queue NAME FILE: one more raw queue on the suite's scheduler, printing into FILE.
add_cups_queue() {
  : >"$2"
  chmod 666 "$2"
  lpadmin -p "$1" -E -v "parallel:$2" >>"$work/cups-start.log" 2>&1 || fail "lpadmin refused the queue $1"
}

# task_json KEY PRINTER LINES COPIES [PAD]: a task whose lines all start with the key (PAD
# more characters each), kept in $work/tasks/KEY.json for the expected bytes; add_task sends
# it to the cloud.
task_json() {
  mkdir -p "$work/tasks"
  python3 - "$@" <<'EOF' | tee "$work/tasks/$1.json"
import json, sys
key, printer, lines, copies = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
pad = "." * (int(sys.argv[5]) if len(sys.argv) > 5 else 0)
content = [{"type": 1, "bold": i % 2, "align": 1 + i % 3, "text": f"{key} 第{i}行 红烧牛肉面 x1 28.00{pad}"}
           for i in range(lines)]
print(json.dumps({"uni_key": key, "print_sn": printer, "print_num": copies,
                  "print_content": content}, ensure_ascii=False))
EOF
}
add_task() {
  task_json "$@" | curl -sf --max-time 30 -H 'Content-Type: application/json' --data-binary @- \
    "$admin/tasks" >/dev/null || fail "cannot add task $1"
}
# post_tasks: sends the task JSON on stdin to the cloud (for tasks task_json cannot make).
post_tasks() {
  curl -sf --max-time 30 -H 'Content-Type: application/json' --data-binary @- "$admin/tasks" \
    >/dev/null || fail "cannot add tasks"
}
# run_log: every run-log entry so far, as UTF-8 text.
run_log() {
  for f in "$work"/run/log/*.log; do [ -f "$f" ] && iconv -f GBK -t UTF-8 "$f" && echo; done
}
# service_memory_peak: the service's peak resident memory so far (VmHWM), for the suite's output.
service_memory_peak() { grep VmHWM "/proc/${1:-$service_pid}/status" 2>/dev/null | tr -s ' \t' ' '; }
# reported KEY [SECONDS]: waits for the cloud to record a report of the task.
reported() { wait_for "${2:-60}" "any(r['uk'] == '$1' for r in reports)" || fail "no report for $1"; }
