#!/bin/sh
# A private CUPS scheduler for the spooler printer tests: its own configuration, spool and
# socket under DIR, nothing shared with the machine's print service.
#
#   cups_fixture.sh start DIR [odd]   start cupsd and add the test queues (with "odd", also
#                                     the queues with odd names)
#   cups_fixture.sh stop DIR    stop that cupsd
#
# Queues: qv_receipt (description and location set) and qv_plain (neither); with "odd",
# b0{}[]<> (a name that a URI path must escape) and qv_bad<0xff> (a name that is no UTF-8),
# both writing to DIR/odd.out (Wine's spooler is not tested with these). The other devices are the files DIR/qv_receipt.out and DIR/qv_plain.out, written
# by the parallel backend, which writes a job's bytes unchanged to the path of its device URI. The tests talk to the
# scheduler through CUPS_SERVER=DIR/cups.sock.
set -eu

action=$1
dir=$2
socket=$dir/cups.sock

stop() {
  if [ -f "$dir/cupsd.pid" ]; then
    pid=$(cat "$dir/cupsd.pid")
    kill "$pid" 2>/dev/null || true
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
    rm -f "$dir/cupsd.pid"
  fi
}

case $action in
stop)
  stop
  exit 0
  ;;
start) ;;
*)
  echo "usage: $0 start|stop DIR" >&2
  exit 2
  ;;
esac

stop
rm -rf "$dir"
mkdir -p "$dir/spool" "$dir/tmp" "$dir/cache" "$dir/state" "$dir/log" "$dir/ppd"

cat >"$dir/cupsd.conf" <<EOF
Listen $socket
LogLevel info
Browsing No
BrowseLocalProtocols none
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Location /admin>
  Order allow,deny
  Allow all
</Location>
<Policy default>
  JobPrivateAccess all
  JobPrivateValues none
  SubscriptionPrivateAccess all
  SubscriptionPrivateValues none
  <Limit All>
    Order allow,deny
    Allow all
  </Limit>
</Policy>
EOF

cat >"$dir/cups-files.conf" <<EOF
ServerRoot $dir
RequestRoot $dir/spool
TempDir $dir/tmp
CacheDir $dir/cache
StateDir $dir/state
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
Printcap $dir/printcap
FileDevice Yes
SystemGroup root
EOF

# The backend runs as the unprivileged lp user: the device files must be writable by it.
for queue in qv_receipt qv_plain odd; do
  : >"$dir/$queue.out"
  chmod 666 "$dir/$queue.out"
done

setsid cupsd -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" >"$dir/log/stdout" 2>&1 &
echo $! >"$dir/cupsd.pid"

i=0
until [ -S "$socket" ] && CUPS_SERVER=$socket lpstat -r >/dev/null 2>&1; do
  i=$((i + 1))
  if [ $i -gt 100 ]; then
    echo "cupsd did not start:" >&2
    cat "$dir/log/stdout" "$dir/log/error_log" >&2 2>/dev/null || true
    exit 1
  fi
  sleep 0.1
done

export CUPS_SERVER=$socket
lpadmin -p qv_receipt -E -v "parallel:$dir/qv_receipt.out" -D "Quorvel test receipt" \
  -L "Counter 1"
lpadmin -p qv_plain -E -v "parallel:$dir/qv_plain.out"
if [ "${3:-}" = odd ]; then
  lpadmin -p 'b0{}[]<>' -E -v "parallel:$dir/odd.out"
  lpadmin -p "$(printf 'qv_bad\377')" -E -v "parallel:$dir/odd.out"
fi
