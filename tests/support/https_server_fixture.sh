#!/bin/sh
# Starts or stops test_https_server for a test run.
#   https_server_fixture.sh start STATE_DIR SERVER_BINARY
#   https_server_fixture.sh stop STATE_DIR
# start makes a fresh test CA (STATE_DIR/ca.pem) and a server certificate for the name
# "localhost" (a DNS name: WinHTTP does not match IP-address names), starts the server in
# the background and waits until it publishes STATE_DIR/ports ("HTTPS_PORT HTTP_PORT").
set -eu
action=$1
dir=$2

stop_server() {
  if [ -f "$dir/pid" ]; then
    kill "$(cat "$dir/pid")" 2>/dev/null || true
    rm -f "$dir/pid"
  fi
}

case "$action" in
start)
  server=$(realpath "$3")
  [ -x "$server" ] || { echo "test server not built: $server (build the linux tree first)" >&2; exit 1; }
  stop_server
  rm -rf "$dir"
  mkdir -p "$dir"
  dir=$(realpath "$dir")
  cd "$dir"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 3 \
    -subj "/CN=Quorvel Test Root" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    2>/dev/null
  openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj "/CN=localhost" \
    2>/dev/null
  printf '%s\n' "subjectAltName=DNS:localhost" "basicConstraints=CA:FALSE" \
    "keyUsage=critical,digitalSignature,keyEncipherment" "extendedKeyUsage=serverAuth" > ext.cnf
  openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem \
    -days 3 -extfile ext.cnf 2>/dev/null
  # The certificates a browser refuses or accepts, each served on a port of its own
  # (certs/NAME.pem; the server lists the ports in cert_ports). All are signed by the test root
  # and valid in time: only the named property decides.
  mkdir certs
  cert() {  # NAME SUBJECT EXTENSION...
    name=$1 subject=$2
    shift 2
    openssl req -newkey rsa:2048 -nodes -keyout "certs/$name.key" -out "certs/$name.csr" \
      -subj "$subject" 2>/dev/null
    printf '%s\n' "basicConstraints=CA:FALSE" "$@" > "certs/$name.cnf"
    openssl x509 -req -in "certs/$name.csr" -CA ca.pem -CAkey ca.key -CAcreateserial \
      -out "certs/$name.pem" -days 3 -extfile "certs/$name.cnf" 2>/dev/null
    rm "certs/$name.csr" "certs/$name.cnf"
  }
  cert eku-client-only /CN=localhost subjectAltName=DNS:localhost extendedKeyUsage=clientAuth
  cert ku-cert-sign-only /CN=localhost subjectAltName=DNS:localhost keyUsage=critical,keyCertSign
  cert wildcard-tld /CN=localhost "subjectAltName=DNS:*.localhost"
  cert wildcard-domain /CN=localhost "subjectAltName=DNS:*.qv.localhost"
  cert ip-san /CN=127.0.0.1 "subjectAltName=IP:127.0.0.1,IP:::1"
  cert ip-as-dns-name /CN=127.0.0.1 "subjectAltName=DNS:127.0.0.1"
  cert cn-only /CN=localhost
  # Detached, with no inherited output: ctest waits for every holder of its pipes.
  setsid "$server" --state-dir "$dir" >server.log 2>&1 </dev/null &
  echo $! > pid
  i=0
  while [ ! -f ports ]; do
    i=$((i + 1))
    if [ $i -gt 100 ]; then echo "test server did not start:" >&2; cat server.log >&2; exit 1; fi
    sleep 0.1
  done
  echo "test server on ports $(cat ports), CA $dir/ca.pem"
  ;;
stop)
  stop_server
  ;;
*)
  echo "usage: $0 start|stop STATE_DIR [SERVER_BINARY]" >&2
  exit 2
  ;;
esac
