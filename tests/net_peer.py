#!/usr/bin/env python3
"""Loopback peers for the network tests.

Prints the port it listens on (127.0.0.1, chosen by the system) as the first
line of standard output, then serves until killed.

Modes:
  reply     read each request, log it, send the reply file (default)
  silent    accept and read, never answer, keep the connection open
  stall     send the first half of the reply, then keep the connection open
  cut       send the first half of the reply, then close
  noaccept  listen with a backlog of 1 and never accept
  proxy     log the request, forward it to the absolute URI's host, relay the reply
  endless   send the reply's headers, then body bytes without end
  drip      send the reply's headers, then one body byte every 0.2 s without end
"""
import argparse
import os
import socket
import threading
import time

GRACE = 0.3  # seconds to wait for bytes after the announced body


def read_request(conn):
    data = b""
    conn.settimeout(10)
    while True:
        end = data.find(b"\r\n\r\n")
        sep = 4
        alt = data.find(b"\n\n")
        if alt >= 0 and (end < 0 or alt < end):
            end, sep = alt, 2
        if end >= 0:
            break
        try:
            chunk = conn.recv(65536)
        except OSError:
            return data
        if not chunk:
            return data
        data += chunk
    head = data[:end].decode("latin-1")
    length = 0
    for line in head.split("\n")[1:]:
        name, _, value = line.partition(":")
        if name.strip().lower() == "content-length":
            try:
                length = int(value.strip())
            except ValueError:
                pass
    want = end + sep + length
    while len(data) < want:
        try:
            chunk = conn.recv(65536)
        except OSError:
            return data
        if not chunk:
            return data
        data += chunk
    # Catch what a client sends beyond the announced body (a final line end).
    conn.settimeout(GRACE)
    try:
        while True:
            chunk = conn.recv(65536)
            if not chunk:
                break
            data += chunk
    except OSError:
        pass
    return data


class Log:
    def __init__(self, directory):
        self.directory = directory
        self.count = 0
        self.lock = threading.Lock()

    def reserve(self):
        """The number of a connection, taken when it is accepted, so logs
        follow the order in which the clients connected."""
        with self.lock:
            self.count += 1
            return self.count

    def write(self, data, n):
        if not self.directory:
            return
        path = os.path.join(self.directory, "request-%d.bin" % n)
        with open(path + ".part", "wb") as f:
            f.write(data)
        os.rename(path + ".part", path)


def send_reply(conn, reply, trickle):
    if trickle:
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        for i in range(len(reply)):
            conn.sendall(reply[i:i + 1])
            time.sleep(0.001)
    else:
        conn.sendall(reply)


def hold(conn):
    conn.settimeout(None)
    try:
        while conn.recv(65536):
            pass
    except OSError:
        pass


def forward(request):
    line, _, rest = request.partition(b"\r\n")
    method, uri, version = line.split(b" ", 2)
    assert uri.startswith(b"http://")
    hostport, slash, path = uri[7:].partition(b"/")
    host, _, port = hostport.partition(b":")
    upstream = socket.create_connection((host.decode(), int(port or 80)), timeout=10)
    upstream.sendall(method + b" " + slash + path + b" " + version + b"\r\n" + rest)
    reply = b""
    while True:
        chunk = upstream.recv(65536)
        if not chunk:
            break
        reply += chunk
    upstream.close()
    return reply


def handle(conn, args, log, reply, n):
    try:
        if args.mode == "silent":
            log.write(read_request(conn), n)
            hold(conn)
            return
        request = read_request(conn)
        log.write(request, n)
        if args.mode == "proxy":
            conn.sendall(forward(request))
        elif args.mode == "reply":
            send_reply(conn, reply, args.trickle)
        elif args.mode in ("endless", "drip"):
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n")
            block = b"x" * (65536 if args.mode == "endless" else 1)
            while True:
                conn.sendall(block)
                if args.mode == "drip":
                    time.sleep(0.2)
        elif args.mode in ("stall", "cut"):
            conn.sendall(reply[: len(reply) // 2])
            if args.mode == "stall":
                hold(conn)
        try:
            conn.shutdown(socket.SHUT_WR)
        except OSError:
            pass
    except OSError:
        pass
    finally:
        conn.close()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("mode", nargs="?", default="reply")
    p.add_argument("--log", default="")
    p.add_argument("--reply", default="")
    p.add_argument("--trickle", action="store_true")
    args = p.parse_args()
    reply = b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\nhello"
    if args.reply:
        with open(args.reply, "rb") as f:
            reply = f.read()
    log = Log(args.log)
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(1 if args.mode == "noaccept" else 64)
    print(server.getsockname()[1], flush=True)
    if args.mode == "noaccept":
        while True:
            time.sleep(3600)
    while True:
        conn, _ = server.accept()
        threading.Thread(target=handle, args=(conn, args, log, reply, log.reserve()), daemon=True).start()


if __name__ == "__main__":
    main()
