#!/usr/bin/env python3
"""A TLS web server for the HTTPS tests.

  tls_peer.py CERT KEY FOLDER [UPSTREAM]

Listens on 127.0.0.1 (port chosen by the system), prints "port N" as its
first line and serves until killed: the folder's files (the query is
ignored), or with UPSTREAM (an http:// root) every GET relayed to it.
"""
import functools
import http.server
import ssl
import sys
import urllib.error
import urllib.request


class Relay(http.server.BaseHTTPRequestHandler):
    upstream = ""

    def do_GET(self):
        try:
            with urllib.request.urlopen(self.upstream + self.path, timeout=30) as r:
                status, ctype, body = r.status, r.headers.get("Content-Type", ""), r.read()
        except urllib.error.HTTPError as e:
            status, ctype, body = e.code, e.headers.get("Content-Type", ""), e.read()
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def main():
    cert, key, folder = sys.argv[1:4]
    if len(sys.argv) > 4:
        Relay.upstream = sys.argv[4].rstrip("/")
        handler = Relay
    else:
        handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    print("port %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
