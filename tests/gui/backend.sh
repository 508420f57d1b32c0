# The program a window test drives, by the backend the test was given (sourced after
# gui_lib.sh and newcomer_lib.sh; bash): gtk, the Linux program in GTK windows, or wine, the
# Windows program under Wine. Sets tab_top and patience (seconds for a window or a first
# print to come: Wine starts and draws more slowly) and program_pid, makes the backend ready
# and ends the program and what newcomer_lib.sh started when the test ends. The test sets
# backend and program (and sim where it uses one) before it sources this file.
case $backend in
  gtk) tab_top=23 patience=60 ;;
  wine) tab_top=25 patience=90 ;;
  *) echo "unknown backend '$backend' (gtk or wine)"; exit 2 ;;
esac
[ "$backend" = wine ] && . "$here/../support/wine_tools.sh"

# backend_ready: a private XDG_RUNTIME_DIR for GTK (the single-instance lock lives there, so
# other tests that run the program at the same time do not count as our first instance) and
# a configuration folder of the test's own (the autostart entry goes there); for Wine the
# test's own prefix (one instance runs per prefix) and the Linux simulator, where the test
# uses one.
backend_ready() {
  if [ "$backend" = gtk ]; then
    export XDG_RUNTIME_DIR="$work/xdg"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    export XDG_CONFIG_HOME="$work/config"
  else
    [ -z "${sim:-}" ] || [ -x "$sim" ] || fail "$sim is missing (build the linux tree first)"
    wine_prefix_ready
  fi
}

# backend_stop: ends the program (under Wine, with everything else of the prefix).
backend_stop() {
  if [ "$backend" = gtk ]; then stop_pid "$program_pid"; else "$wine" --server -k 2>/dev/null; fi
}

# start_program DIR: copies the program into DIR and starts it there, its output in
# $work/program.log; sets program_pid.
start_program() {
  if [ "$backend" = gtk ]; then
    cp "$program" "$1/quorvel-print"
    (cd "$1" && exec ./quorvel-print) >"$work/program.log" 2>&1 &
  else
    cp "$program" "$1/quorvel-print.exe"
    (cd "$1" && exec "$wine" ./quorvel-print.exe) >"$work/program.log" 2>&1 &
  fi
  program_pid=$!
}

# program_path PATH: PATH as the program sees it (under Wine, on drive Z:).
program_path() {
  if [ "$backend" = gtk ]; then echo "$1"; else echo "Z:$(tr / '\\' <<<"$1")"; fi
}

program_pid=
trap 'backend_stop; stop_newcomer_world' EXIT
backend_ready
