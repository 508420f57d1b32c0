#!/usr/bin/env bash
# Runs winhttp_tls_tests.exe under Wine against an HTTPS server of TLS 1.2 alone
# (tls12_only_server.py) with the test server's certificate for "localhost", whose CA the
# test trusts.
# Usage: winhttp_tls12_wine.sh <winhttp_tls_tests.exe>; needs QV_TEST_HTTPS_DIR and a
# WINEPREFIX.
set -u
here=$(dirname "$0")
fail() {
  echo "FAIL: $*"
  exit 1
}
. "$here/../support/wine_tools.sh"
wine_prefix_ready
program=$1
dir=$QV_TEST_HTTPS_DIR
work=$(mktemp -d)
python3 "$here/tls12_only_server.py" "$dir/server.pem" "$dir/server.key" "$work/port" 100 &
server=$!
trap 'kill $server 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do
  [ -s "$work/port" ] && break
  sleep 0.1
done
port=$(cat "$work/port") || fail "the TLS 1.2 server did not start"
# The server must really refuse TLS 1.3, or the exchange below would show nothing.
echo | openssl s_client -tls1_3 -connect "127.0.0.1:$port" >/dev/null 2>&1 &&
  fail "the TLS 1.2 server accepted TLS 1.3"
echo | openssl s_client -tls1_2 -connect "127.0.0.1:$port" >/dev/null 2>&1 ||
  fail "the TLS 1.2 server refused TLS 1.2"
QV_TLS12_ONLY_PORT=$port "$wine" "$program"
