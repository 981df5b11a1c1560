#!/usr/bin/python3
"""The front of the local map server's sheet requests, in one long-lived
process that lighttpd starts as an SCGI server on its listening socket
(fd 0). It names in each request to MapServer the imports that meet the
sheet, by their extent index (import_index.py), so that MapServer opens no
import off the sheet (and, when none meets it, reads the map file without
the imports). MapServer cannot write GIF: it draws an 8-bit PNG, which this
worker turns into a GIF with GDAL in memory, so no request pays for starting
GDAL. It answers:

  the old map server request (the reply names the image): passed on to
        MapServer (/ms/mapserv) with an id of its own, so that two requests
        in one second never share an image name in a long-lived MapServer;
        the PNG that MapServer wrote under the GIF's name becomes the GIF
        (as does one sent straight back, for mode=map or mode=tile);
  a WMS GetMap: passed on; for FORMAT=image/gif asked of MapServer as
        image/png, then converted.

  a search of the imports' names and the towns (/search?q=TEXT&near=LAT,LON
        &limit=N, place_index.py): one match a line, tab-separated (name,
        kind, latitude, longitude, import), after any notes on lines that
        begin with "# " (an import left out and why).

It also clears old images out of the image folder (KIV_TMP).
"""
import math, os, re, socket, sys, threading, time, urllib.error, urllib.parse, urllib.request

from osgeo import gdal, osr

import fine_cells
import import_index
import place_index

gdal.UseExceptions()
gdal.SetConfigOption("GDAL_PAM_ENABLED", "NO")
TMP = os.environ["KIV_TMP"]
PORT = os.environ["KIV_PORT"]
IMPORTS = os.environ.get("KIV_IMPORTS", "")
DATA = os.environ.get("KIV_DATA", "")
# GMT, which builds the full-resolution cells, leaves its history in the
# current folder otherwise.
os.environ.setdefault("GMT_TMPDIR", TMP)
# The map files without the imports, by the map they stand for.
BARE = {"WMS": "WMS_BARE", "/home/atlas/mapdata/english/toporama.map": "TOPORAMA_BARE",
        "/home/atlas/mapdata/english/toporama_3857.map": "TOPORAMA_3857_BARE"}
_index = [None, []]
_to_lcc = {}
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
        # A failed conversion leaves no GIF to unlink, which GDAL reports.
        for suffix in (".png", ".gif"):
            try:
                gdal.Unlink(name + suffix)
            except RuntimeError:
                pass


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


def imports_now():
    """The imports of the extent index, read again when it has changed."""
    try:
        st = os.stat(os.path.join(IMPORTS, import_index.INDEX))
    except OSError:
        return []
    key = (st.st_ino, st.st_mtime_ns, st.st_size)
    with _lock:
        if _index[0] != key:
            _index[:] = [key, import_index.read_index(IMPORTS)]
        return _index[1]


def lcc_box(epsg, box):
    """A box of EPSG:3978 around box (MINX, MINY, MAXX, MAXY in EPSG:epsg,
    3978 or 3857), from points along and across it."""
    if epsg == 3978:
        return box
    with _lock:
        if epsg not in _to_lcc:
            src, dst = osr.SpatialReference(), osr.SpatialReference()
            src.ImportFromEPSG(epsg)
            dst.ImportFromEPSG(3978)
            for r in (src, dst):
                r.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
            _to_lcc[epsg] = osr.CoordinateTransformation(src, dst)
        pts = _to_lcc[epsg].TransformPoints([(box[0] + (box[2] - box[0]) * i / 8, box[1] + (box[3] - box[1]) * j / 8)
                                             for i in range(9) for j in range(9)])
    xs, ys = [p[0] for p in pts], [p[1] for p in pts]
    return min(xs), min(ys), max(xs), max(ys)


def choose_imports(params, epsg, box):
    """params (a list of pairs, map= among them) with the imports that meet
    box named (imports=), or with the map file without the imports when
    none does; unchanged when the box is not known."""
    try:
        box = lcc_box(epsg, box) if box and epsg in (3978, 3857) else None
    except (RuntimeError, TypeError):
        box = None
    if box is None or not all(abs(v) < 1e9 for v in box):
        return params
    # A tenth of the sheet around it, for rounding and label placement.
    pad = max(box[2] - box[0], box[3] - box[1]) / 10
    box = (box[0] - pad, box[1] - pad, box[2] + pad, box[3] + pad)
    entries = imports_now()
    chosen = import_index.meeting(entries, box)
    # A WMS client may name the imports' layers, which only the whole map file has.
    if not chosen and not any(k.lower() == "layers" and "osm_" in v for k, v in params):
        return [(k, BARE.get(v, v) if k.lower() == "map" else v) for k, v in params]
    if not chosen:
        return params
    try:
        name = import_index.union_file(IMPORTS, chosen, entries)
    except OSError:
        return params
    return params + [("imports", name)]


def fine_sheet(epsg, box, scale):
    """Builds the world's full-resolution cells that a Web Mercator sheet
    at a fine scale (box in plane metres, scale its denominator) meets and
    that are not built yet, before MapServer draws it."""
    if epsg != 3857 or not box or scale > fine_cells.FINEST_COARSE or not DATA:
        return
    r = 6378137.0
    lon = [math.degrees(v / r) for v in (box[0], box[2])]
    lat = [math.degrees(math.atan(math.sinh(v / r))) for v in (box[1], box[3])]
    fine_cells.ensure(DATA, (lon[0], lat[0], lon[1], lat[1]))


def numbers(text, count):
    v = [float(x) for x in text.replace(",", " ").split()]
    if len(v) != count:
        raise ValueError(text)
    return v


def cgi_params(query):
    """The old request with the imports of its sheet chosen: the sheet is
    MAPXY at SCALE, MAPSIZE pixels of 1/72 inch, or MAPEXT (both boxes
    when both are given); not known when the request zooms from it."""
    params = urllib.parse.parse_qsl(query, keep_blank_values=True)
    p = {k.lower(): v for k, v in params}
    epsg = {"/home/atlas/mapdata/english/toporama.map": 3978,
            "/home/atlas/mapdata/english/toporama_3857.map": 3857}.get(p.get("map"))
    boxes = []
    try:
        if any(k in p for k in ("zoom", "zoomdir", "zoomsize", "imgxy", "imgbox", "imgext")):
            raise ValueError("zoomed")
        if "mapext" in p:
            boxes.append(numbers(p["mapext"], 4))
        if "mapxy" in p:
            x, y = numbers(p["mapxy"], 2)
            w, h = numbers(p.get("mapsize", "480 360"), 2)
            cell = float(p.get("scale", p.get("scaledenom", ""))) / (72 * 39.3701)
            boxes.append((x - cell * w / 2, y - cell * h / 2, x + cell * w / 2, y + cell * h / 2))
        box = (min(b[0] for b in boxes), min(b[1] for b in boxes), max(b[2] for b in boxes), max(b[3] for b in boxes))
        w, _ = numbers(p.get("mapsize", "480 360"), 2)
        fine_sheet(epsg, box, (box[2] - box[0]) / w * 72 * 39.3701)
    except (KeyError, ValueError, ZeroDivisionError):
        box = None
    return choose_imports(params, epsg, box)


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
    query = urllib.parse.urlencode(cgi_params(query), quote_via=urllib.parse.quote)
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


def wms(query):
    params = [(k, v) for k, v in urllib.parse.parse_qsl(query, keep_blank_values=True) if k.lower() != "map"]
    p = {k.lower(): v for k, v in params}
    gif = p.get("format", "").lower() == "image/gif"
    if gif:
        params = [(k, "image/png" if k.lower() == "format" else v) for k, v in params]
    crs = p.get("crs", p.get("srs", "")).upper()
    try:
        box = numbers(p["bbox"], 4)
    except (KeyError, ValueError):
        box = None
    epsg = {"EPSG:3978": 3978, "EPSG:3857": 3857}.get(crs)
    try:
        fine_sheet(epsg, box, (box[2] - box[0]) / float(p["width"]) * 72 * 39.3701)
    except (KeyError, ValueError, TypeError, ZeroDivisionError):
        pass
    status, kind, body = mapserver(urllib.parse.urlencode(choose_imports([("map", "WMS")] + params, epsg, box)))
    if not gif:
        return status, kind, body
    if not kind.startswith("image/png"):
        # An exception report or another answer passes as MapServer gave it.
        return status, kind, body
    gif = to_gif(body)
    if gif is None:
        return "500 Internal Server Error", "text/plain", b"GIF conversion failed\n"
    return "200 OK", "image/gif", gif


_search_lock = threading.Lock()
_search_cache = {}


def search(query):
    """The matches of a search as text, best first, after its notes."""
    p = {}
    for k, v in urllib.parse.parse_qsl(query, keep_blank_values=True, errors="replace"):
        p.setdefault(k.lower(), v)
    near = place_index.parse_near(p["near"]) if p.get("near") else None
    if p.get("near") and near is None:
        return "400 Bad Request", "text/plain; charset=utf-8", b"near takes LAT,LON in degrees\n"
    try:
        limit = min(int(p.get("limit", "20")), 1000)
    except ValueError:
        return "400 Bad Request", "text/plain; charset=utf-8", b"limit takes a whole number\n"
    notes = []
    # One search at a time: the open indexes are shared.
    with _search_lock:
        sources = place_index.indexes(IMPORTS, DATA, notes)
        if not sources:
            return ("503 Service Unavailable", "text/plain; charset=utf-8",
                    ("nothing to search: %s\n" % ("; ".join(notes) or "no imports and no towns")).encode())
        # An index replaced since it was opened is opened again.
        keys = {}
        for name, path in sources:
            try:
                st = os.stat(path)
                keys[path] = (st.st_ino, st.st_mtime_ns)
            except OSError:
                pass
        for path in list(_search_cache):
            if _search_cache[path][0] != keys.get(path):
                _search_cache[path][1].close()
                del _search_cache[path]
        opened = {path: db for path, (_, db) in _search_cache.items()}
        found = place_index.search(sources, p.get("q", ""), near, limit, notes, opened)
        for path, db in opened.items():
            if path not in _search_cache and path in keys:
                _search_cache[path] = (keys[path], db)
    text = "".join("# %s\n" % n.replace("\n", " ") for n in notes) + "".join(place_index.line(r) + "\n" for r in found)
    return "200 OK", "text/plain; charset=utf-8", text.encode()


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
            if env.get("SCRIPT_NAME", "").startswith("/gif/search"):
                status, kind, body = search(env.get("QUERY_STRING", ""))
            elif env.get("SCRIPT_NAME", "").startswith("/gif/wms"):
                status, kind, body = wms(env.get("QUERY_STRING", ""))
            else:
                status, kind, body = cgi(env.get("QUERY_STRING", ""))
            conn.sendall(("Status: %s\r\nContent-Type: %s\r\nContent-Length: %d\r\n\r\n"
                          % (status, kind, len(body))).encode() + body)
        except (OSError, ValueError) as e:
            sys.stderr.write("gif_worker: %s\n" % e)


def main():
    # lighttpd gives its backends no stderr: the notes (a request that
    # failed, a map cell built or not) go to the server's log.
    if os.environ.get("KIV_LOG"):
        try:
            sys.stderr = open(os.environ["KIV_LOG"], "a", buffering=1)
        except OSError:
            pass
    listener = socket.socket(fileno=0)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    main()
