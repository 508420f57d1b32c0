# The stalls of the responsiveness window tests (sourced after gui_lib.sh and newcomer_lib.sh;
# bash): while the service waits on a stalled cloud and then on a printer that takes the
# connection but reads nothing, the cashier window must go on answering. The probe pings the
# window every 50 ms and times each answer (answer_probe.py); it prints the worst lateness.

# Lateness above this fails the test: far above what an idle loop shows even on a loaded
# machine under Wine, far below the stalls (a frozen window answers seconds late).
answer_bound_ms=1000

# config_for_stalls: config.ini of a store served by the simulator, the service started
# with the program and polling every second. Uses work, store, cloud_port, ca_file_path,
# page_url of the calling test.
config_for_stalls() {
  printf '[set]\r\nsid=%s\r\nserver=localhost:%s\r\nca_file=%s\r\naurunpr=1\r\ntime=1\r\nurl=%s\r\n' \
    "$store" "$cloud_port" "$ca_file_path" "$page_url" >"$work/run/config.ini"
}

# big_task KEY PRINTER: a task of five copies of 40 long lines, about 400 KB at the printer:
# more than the socket buffers of a loopback connection hold, so that sending it to a
# printer that reads nothing has to wait.
big_task() {
  python3 - "$1" "$2" <<'PY'
import json, sys
key, printer = sys.argv[1], sys.argv[2]
lines = [{"type": 1, "text": f"{key} {i} " + "宫保鸡丁 x1 38.00 " * 100} for i in range(40)]
print(json.dumps({"uni_key": key, "print_type": 1, "print_sn": printer, "print_num": 5,
                  "print_content": lines}, ensure_ascii=False))
PY
}

# probe WINDOW SECONDS WHAT: pings the window for SECONDS s and prints its figures after
# WHAT; false when an answer came later than answer_bound_ms (its late answers are printed).
probe() {
  local figures status=0
  figures=$(python3 "$here/answer_probe.py" "$1" "$2" --max-ms "$answer_bound_ms") || status=1
  if [ $status = 0 ]; then echo "$3: $(tail -1 <<<"$figures")"; else echo "$3: $figures"; fi
  return $status
}

# expect_answers_through_stalls WINDOW: the window answers within answer_bound_ms through a
# poll the cloud holds for 20 s, and through tasks for a printer that reads nothing. Needs
# the service polling (uses printer, admin). Both are measured before a failure is told.
expect_answers_through_stalls() {
  local window=$1 late=
  api POST /faults '{"kind": "slow", "count": 1, "delay_ms": 20000, "endpoint": "wait"}' \
    >/dev/null || fail "the simulator refused the stall"
  echo "the cloud holds the next poll for 20 s"
  probe "$window" 22 "stalled cloud" || late="$late the cloud's,"
  sim_check 'any(r.get("fault") == "slow" for r in get("/requests"))' ||
    fail "no poll met the stall"

  api POST "/printers/$printer" '{"stall": true}' >/dev/null || fail "the printer did not stall"
  for n in 1 2 3; do
    api POST /tasks "$(big_task "stalled-$n" "$printer")" >/dev/null ||
      fail "the simulator refused task stalled-$n"
  done
  echo "three tasks of 400 KB for a printer that reads nothing"
  probe "$window" 12 "stalled printer" || late="$late the printer's,"
  sim_check 'any(t["uni_key"] == "stalled-1" and not t["waiting"] for t in tasks)' ||
    fail "the service never took the tasks for the stalled printer: $(sim_value 'tasks')"

  [ -z "$late" ] || fail "the cashier window answered late through${late%,} stall"
  echo "the cashier window answered within $answer_bound_ms ms through both stalls"
}
