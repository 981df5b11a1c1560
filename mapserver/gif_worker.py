#!/usr/bin/python3
"""The front of the local map server's requests that reply GIF, in one
long-lived process that lighttpd starts as an SCGI server on its listening
socket (fd 0). MapServer cannot write GIF: it draws an 8-bit PNG, which this
worker turns into a GIF with GDAL in memory, so no request pays for starting
GDAL. It answers:

  the old map server request (the reply names the image): passed on to
        MapServer (/ms/mapserv) with an id of its own, so that two requests
        in one second never share an image name in a long-lived MapServer;
        the PNG that MapServer wrote under the GIF's name becomes the GIF
        (as does one sent straight back, for mode=map or mode=tile);
  a WMS GetMap for FORMAT=image/gif: asked of MapServer as image/png, then
        converted.

It also clears old images out of the image folder (KIV_TMP).
"""
import os, re, socket, sys, threading, time, urllib.error, urllib.parse, urllib.request

from osgeo import gdal

gdal.UseExceptions()
gdal.SetConfigOption("GDAL_PAM_ENABLED", "NO")
TMP = os.environ["KIV_TMP"]
PORT = os.environ["KIV_PORT"]
_cleared = [0.0]
_count = [0]
_lock = threading.Lock()


def to_gif(png):
    """The GIF of a palette PNG, or None when GDAL cannot read it."""
    with _lock:
        _count[0] += 1
        name = "/vsimem/kiv%d" % _count[0]
    gdal.FileFromMemBuffer(name + ".png", png)
    try:
        gdal.Translate(name + ".gif", name + ".png", format="GIF")
        f = gdal.VSIFOpenL(name + ".gif", "rb")
        gdal.VSIFSeekL(f, 0, 2)
        size = gdal.VSIFTellL(f)
        gdal.VSIFSeekL(f, 0, 0)
        data = gdal.VSIFReadL(1, size, f)
        gdal.VSIFCloseL(f)
        return data
    except RuntimeError:
        return None
    finally:
        gdal.Unlink(name + ".png")
        gdal.Unlink(name + ".gif")


def clear_old_images():
    # Images live ten minutes, time enough for any client to fetch them.
    now = time.time()
    if now - _cleared[0] < 60:
        return
    _cleared[0] = now
    for e in os.scandir(TMP):
        try:
            if e.name.startswith("ntdb") and now - e.stat().st_mtime > 600:
                os.unlink(e.path)
        except OSError:
            pass


def unique_id():
    with _lock:
        _count[0] += 1
        return "%x%x" % (time.time_ns(), _count[0])


def mapserver(query):
    """MapServer's status, content type and body for a query."""
    try:
        with urllib.request.urlopen("http://127.0.0.1:%s/ms/mapserv?%s" % (PORT, query), timeout=120) as r:
            return "%d %s" % (r.status, r.reason), r.headers.get("Content-Type", "text/plain"), r.read()
    except urllib.error.HTTPError as e:
        return "%d %s" % (e.code, e.reason), e.headers.get("Content-Type", "text/plain"), e.read()
    except OSError as e:
        return "502 Bad Gateway", "text/plain", ("map server: %s\n" % e).encode()


def cgi(query):
    status, kind, body = mapserver(query + "&id=" + unique_id())
    m = re.search(rb"ntdb[A-Za-z0-9]*\.gif", body)
    if m and kind.startswith("text/html"):
        path = os.path.join(TMP, m.group(0).decode())
        try:
            with open(path, "rb") as f:
                data = f.read()
            gif = to_gif(data)
            if gif is None:
                return "500 Internal Server Error", "text/plain", b"GIF conversion failed\n"
            with open(path + ".part", "wb") as f:
                f.write(gif)
            os.replace(path + ".part", path)
        except OSError as e:
            return "500 Internal Server Error", "text/plain", ("image: %s\n" % e).encode()
    elif kind.startswith("image/gif") and body[:4] != b"GIF8":
        # An image straight in the reply (mode=map, mode=tile): the same PNG.
        gif = to_gif(body)
        if gif is None:
            return "500 Internal Server Error", "text/plain", b"GIF conversion failed\n"
        body = gif
    clear_old_images()
    return status, kind, body


def wms_gif(query):
    params = [(k, v) for k, v in urllib.parse.parse_qsl(query, keep_blank_values=True) if k.lower() != "map"]
    params = [(k, "image/png" if k.lower() == "format" else v) for k, v in params]
    status, kind, body = mapserver("map=WMS&" + urllib.parse.urlencode(params))
    if not kind.startswith("image/png"):
        # An exception report or another answer passes as MapServer gave it.
        return status, kind, body
    gif = to_gif(body)
    if gif is None:
        return "200 OK", "text/plain", b"GIF conversion failed\n"
    return "200 OK", "image/gif", gif


def read_request(conn):
    """The SCGI headers of one request (a netstring of NUL-separated pairs)."""
    buf = b""
    while b":" not in buf:
        chunk = conn.recv(4096)
        if not chunk:
            return None
        buf += chunk
    length, rest = buf.split(b":", 1)
    need = int(length) + 1
    while len(rest) < need:
        chunk = conn.recv(65536)
        if not chunk:
            return None
        rest += chunk
    items = rest[:need - 1].split(b"\0")
    return {items[i].decode("latin-1"): items[i + 1].decode("latin-1") for i in range(0, len(items) - 1, 2)}


def serve(conn):
    with conn:
        try:
            env = read_request(conn)
            if env is None:
                return
            if env.get("SCRIPT_NAME", "").startswith("/gif/wms"):
                status, kind, body = wms_gif(env.get("QUERY_STRING", ""))
            else:
                status, kind, body = cgi(env.get("QUERY_STRING", ""))
            conn.sendall(("Status: %s\r\nContent-Type: %s\r\nContent-Length: %d\r\n\r\n"
                          % (status, kind, len(body))).encode() + body)
        except (OSError, ValueError) as e:
            sys.stderr.write("gif_worker: %s\n" % e)


def main():
    listener = socket.socket(fileno=0)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    main()
