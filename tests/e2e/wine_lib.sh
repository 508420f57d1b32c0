# Helpers of the suites that run the Windows program under Wine; source after lib.sh.
# The suite's WINEPREFIX is its own (one program instance and one desktop per prefix);
# wine_prefix_ready makes it before its dosdevices are set up, when the fixture has not.
source "$(dirname "${BASH_SOURCE[0]}")/../support/wine_tools.sh"
[ -x "$SIM" ] || fail "$SIM is missing (build the linux tree first)"

wine_pid=

# request_count: how many requests the simulated cloud has received so far.
request_count() {
  api GET /requests | python3 -c 'import json, sys; print(len(json.load(sys.stdin)))'
}

# start_wine_service: the Windows program, copied beside its config.ini, started unattended
# ("auto"); returns when it has talked to the cloud. A start that meets an instance still
# ending in this prefix ends at once, so it is tried again.
start_wine_service() {
  cp -n "$PROGRAM" "$work/run/quorvel-print.exe"
  local before attempt
  for attempt in 1 2 3 4 5 6; do
    before=$(request_count) || fail "the simulator's admin interface does not answer"
    (cd "$work/run" && exec "$wine" ./quorvel-print.exe auto) </dev/null >>"$work/service.out" 2>&1 &
    wine_pid=$!
    if wait_for_requests 90 "$before"; then return 0; fi
    kill -0 "$wine_pid" 2>/dev/null && fail "the program under Wine is running but never reached the cloud"
    wait "$wine_pid" 2>/dev/null
    wine_pid=
    echo "start $attempt ended early (an instance still ending?); trying again"
    sleep 5
  done
  fail "the program under Wine did not start"
}

wait_for_requests() {  # SECONDS COUNT: until the cloud has seen more than COUNT requests
  local deadline=$((SECONDS + $1))
  while [ $SECONDS -lt $deadline ]; do
    [ "$(request_count 2>/dev/null || echo 0)" -gt "$2" ] && return 0
    kill -0 "$wine_pid" 2>/dev/null || return 1
    sleep 0.5
  done
  return 1
}

# kill_wine_service: SIGKILL to the Windows process itself. The wine loader runs the program
# in the process it was started as, so that pid is quorvel-print.exe; the rest of the prefix
# (wineserver, the desktop) lives on, as the rest of Windows does when a program is killed.
kill_wine_service() {
  [ -n "$wine_pid" ] || return 0
  tr '\0' ' ' <"/proc/$wine_pid/cmdline" 2>/dev/null | grep -q 'quorvel-print.exe' ||
    fail "pid $wine_pid is not quorvel-print.exe: $(tr '\0' ' ' <"/proc/$wine_pid/cmdline" 2>/dev/null)"
  kill -KILL "$wine_pid"
  wait "$wine_pid" 2>/dev/null
  wine_pid=
}

stop_wine_service() {  # at the end of a suite: no orderly exit is needed
  [ -n "$wine_pid" ] && kill -KILL "$wine_pid" 2>/dev/null
  [ -n "$wine_pid" ] && wait "$wine_pid" 2>/dev/null
  wine_pid=
}
trap 'stop_wine_service; e2e_cleanup' EXIT
