#!/usr/bin/env python3
"""An HTTPS server on the loopback addresses that speaks TLS 1.2 and nothing else: every GET
is answered with the protocol version of its connection ("TLSv1.2"). Writes its port to
PORT_FILE once it listens, and ends after SECONDS.

Usage: tls12_only_server.py CERT KEY PORT_FILE SECONDS"""
import http.server
import os
import socket
import ssl
import sys
import threading


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body = self.connection.version().encode()
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


class Server6(http.server.ThreadingHTTPServer):
    address_family = socket.AF_INET6


def main():
    cert, key, port_file, seconds = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4])
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.minimum_version = ssl.TLSVersion.TLSv1_2
    context.maximum_version = ssl.TLSVersion.TLSv1_2
    context.load_cert_chain(cert, key)
    servers = [http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)]
    port = servers[0].server_address[1]
    # "localhost" may resolve to either loopback address.
    try:
        servers.append(Server6(("::1", port), Handler))
    except OSError:
        pass
    for server in servers:
        server.socket = context.wrap_socket(server.socket, server_side=True)
        threading.Thread(target=server.serve_forever, daemon=True).start()
    with open(port_file + ".tmp", "w") as out:
        out.write(f"{port}\n")
    os.rename(port_file + ".tmp", port_file)
    threading.Event().wait(seconds)


main()
