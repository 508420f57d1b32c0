#!/usr/bin/env bash
# Runs winhttp_tls_tests.exe under Wine against `openssl s_server` speaking TLS 1.2 alone,
# with the test server's certificate for "localhost" (its CA is the one the test trusts).
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
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
log=$(mktemp)
# "localhost" may resolve to either loopback address: a server on each, as the test server has.
servers=
for address in 127.0.0.1 '[::1]'; do
  openssl s_server -quiet -tls1_2 -www -accept "$address:$port" \
    -cert "$dir/server.pem" -key "$dir/server.key" </dev/null >>"$log" 2>&1 &
  servers="$servers $!"
done
trap 'kill $servers 2>/dev/null; rm -f "$log"' EXIT
for _ in $(seq 50); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.1
done
# The server must really refuse TLS 1.3, or the exchange below would show nothing.
if echo | openssl s_client -tls1_3 -connect "127.0.0.1:$port" >/dev/null 2>&1; then
  fail "the TLS 1.2 server accepted TLS 1.3"
fi
QV_TLS12_ONLY_PORT=$port "$wine" "$program"
