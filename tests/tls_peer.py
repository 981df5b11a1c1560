#!/usr/bin/env python3
"""A TLS web server over a folder for the HTTPS tests.

  tls_peer.py CERT KEY FOLDER

Listens on 127.0.0.1 (port chosen by the system), prints "port N" as its
first line, serves the folder's files (the query is ignored) until killed.
"""
import functools
import http.server
import ssl
import sys


def main():
    cert, key, folder = sys.argv[1:4]
    handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    print("port %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
