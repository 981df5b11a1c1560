"""The world's full-resolution shorelines, water and rivers for the fine
Web Mercator sheets (1:200k and finer), built a cell of the world at a time
when a sheet first needs it: the whole world at full resolution (some 11
million points) would take hours to polygonise, and most of it is never
looked at.

A cell is CELL degrees square. Its land and water polygons are made as the
builder makes the coarse ones, from the cell's own shorelines and its edges,
so fill and outline meet exactly, and neighbouring cells meet without seams
(GSHHG's bins end on whole degrees, so both cut a shoreline at the same
point). The files go into FOLDER of the data cache under a staging name
and are moved in whole; the index MapServer reads the cells through (a
tile index) is written again after each cell. The map file draws the
coarse world data under the cells, so a cell not built (or one that failed,
whose reason goes to the server's error log) shows the coarse data instead.

One builder a cell, across threads and servers sharing the cache: a lock
file a cell, and one for the index.
"""
import fcntl, json, math, os, shutil, subprocess, sys, tempfile, threading, time

import build_data

CELL = 2
FOLDER = "fine"
INDEX = "index.geojson"
# Sheets at this scale and finer draw the cells (the map file's
# MAXSCALEDENOM of the fine layers).
FINEST_COARSE = 500000
KINDS = ("water", "shore", "rivers")
# A fine sheet meets four cells at most; a large WMS image may meet many,
# which would keep its client waiting for minutes.
MOST_A_REQUEST = 6

_failed = set()
_failed_lock = threading.Lock()


def cell_name(x, y):
    return "%s%03d%s%02d" % ("w" if x < 0 else "e", abs(x), "s" if y < 0 else "n", abs(y))


def cells_meeting(box):
    """The south-west corners of the cells that box (west, south, east,
    north in degrees) meets, within Web Mercator's bounds."""
    w, s, e, n = box
    w, e = max(w, build_data.WORLD[0]), min(e, build_data.WORLD[1])
    s, n = max(s, build_data.WORLD[2]), min(n, build_data.WORLD[3])
    if w >= e or s >= n:
        return []
    xs = range(int(math.floor(w / CELL)) * CELL, int(math.ceil(e / CELL)) * CELL, CELL)
    ys = range(int(math.floor(s / CELL)) * CELL, int(math.ceil(n / CELL)) * CELL, CELL)
    return [(x, y) for x in xs for y in ys if x < 180]


def region_of(x, y):
    return (x, x + CELL, max(y, build_data.WORLD[2]), min(y + CELL, build_data.WORLD[3]))


def hole_of(region):
    """The part of the service area inside region, which the Canadian data
    draws, or None."""
    a = build_data.AREA
    h = (max(region[0], a[0]), min(region[1], a[1]), max(region[2], a[2]), min(region[3], a[3]))
    return h if h[0] < h[1] and h[2] < h[3] else None


def ground(region, holes):
    """The cell's land under its faces (water = 2), first of them: the
    polygons leave out the islands (holes in the water), which must cover
    the coarse data too."""
    from osgeo import ogr
    ring = "POLYGON((%s))" % ", ".join("%r %r" % tuple(p) for p in build_data.box_ring(region))
    g = ogr.CreateGeometryFromWkt(ring)
    for h in holes:
        g = g.Difference(ogr.CreateGeometryFromWkt("POLYGON((%s))" % ", ".join(
            "%r %r" % tuple(p) for p in build_data.box_ring(h))))
    return {"type": "Feature", "properties": {"water": 2}, "geometry": json.loads(g.ExportToJson())}


def build_cell(folder, x, y, res="f"):
    """Writes the cell's water, shore and rivers shapefiles into folder."""
    region = region_of(x, y)
    hole = hole_of(region)
    if hole == region:
        holes = [region]
    else:
        holes = [hole] if hole else []
    name = cell_name(x, y)
    with tempfile.TemporaryDirectory() as tmp, tempfile.TemporaryDirectory(dir=folder) as out:
        if holes == [region]:
            for kind in KINDS:
                build_data.write_geojson(os.path.join(tmp, kind + ".geojson"), [])
        else:
            shore = build_data.gmt_dump(region, res, "-W")
            build_data.water_polygons(tmp, (("cell", region, res, holes),), "faces", {"cell": shore})
            with open(os.path.join(tmp, "faces.geojson")) as f:
                faces = json.load(f)["features"]
            build_data.write_geojson(os.path.join(tmp, "water.geojson"), [ground(region, holes)] + faces)
            for kind, lines in (("shore", shore), ("rivers", build_data.gmt_dump(region, res, "-IA"))):
                path = os.path.join(tmp, kind + ".geojson")
                build_data.write_geojson(path, build_data.line_features(build_data.drawn_once(lines)))
                if holes:
                    os.replace(path, os.path.join(tmp, kind + "_raw.geojson"))
                    build_data.ogr_sql(os.path.join(tmp, kind + "_raw.geojson"), path,
                                       "SELECT ST_Difference(geometry, BuildMbr(%g, %g, %g, %g, 4326)) AS geometry "
                                       "FROM \"%s_raw\"" % (holes[0][0], holes[0][2], holes[0][1], holes[0][3], kind))
        for kind in KINDS:
            shp = os.path.join(out, "%s_%s.shp" % (name, kind))
            shape = "POLYGON" if kind == "water" else "MULTILINESTRING"
            subprocess.run(["ogr2ogr", "-f", "ESRI Shapefile", "-a_srs", "EPSG:4326", "-nlt", shape, shp,
                            os.path.join(tmp, kind + ".geojson")], check=True, capture_output=True)
            subprocess.run(["shptree", shp], capture_output=True)
        for f in sorted(os.listdir(out)):
            os.replace(os.path.join(out, f), os.path.join(folder, f))
    # Marked done last: a cell without its mark is built again.
    with open(os.path.join(folder, name + ".done"), "w") as f:
        f.write(res + "\n")


def empty_tile(folder, kind):
    """A shapefile of the kind's geometry and fields with no feature, made
    once; its name within the folder."""
    name = "none_%s.shp" % kind
    if not os.path.exists(os.path.join(folder, name)):
        shape = ({"type": "Polygon", "coordinates": [[[0, 0], [1, 0], [1, 1], [0, 0]]]} if kind == "water"
                 else {"type": "LineString", "coordinates": [[0, 0], [1, 1]]})
        src = os.path.join(folder, "none_%s.geojson" % kind)
        build_data.write_geojson(src, [{"type": "Feature", "properties": {"water": 0}, "geometry": shape}])
        subprocess.run(["ogr2ogr", "-f", "ESRI Shapefile", "-where", "water = 2", os.path.join(folder, name), src],
                       check=True, capture_output=True)
        os.remove(src)
    return name


def write_index(folder):
    """The tile index of the built cells, written whole."""
    feats = []
    for f in sorted(os.listdir(folder)):
        if not f.endswith(".done"):
            continue
        name = f[:-5]
        try:
            x = (-1 if name[0] == "w" else 1) * int(name[1:4])
            y = (-1 if name[4] == "s" else 1) * int(name[5:7])
        except (ValueError, IndexError):
            continue
        # Named within the folder (the map file's SHAPEPATH): MapServer
        # opens no tile by a path with quotes or a backslash in it.
        props = {kind: "%s_%s.shp" % (name, kind) for kind in KINDS}
        feats.append({"type": "Feature", "properties": props,
                      "geometry": {"type": "Polygon", "coordinates": [build_data.box_ring(region_of(x, y))]}})
    if not feats:
        # With no cell yet the index still needs its fields, which MapServer
        # looks for first, and a tile it can open: empty ones.
        feats.append({"type": "Feature", "properties": {kind: empty_tile(folder, kind) for kind in KINDS},
                      "geometry": None})
    part = os.path.join(folder, INDEX + ".part")
    build_data.write_geojson(part, feats)
    os.replace(part, os.path.join(folder, INDEX))


def empty_index(data):
    """A fresh cell folder with an index of no cells (the map file names the
    index, so it is always there)."""
    folder = os.path.join(data, FOLDER)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    write_index(folder)


def locked(path):
    f = open(path, "a")
    fcntl.flock(f, fcntl.LOCK_EX)
    return f


def ensure(data, box, log=None):
    """Builds the cells box (degrees) meets that are not built yet; returns
    the names of those it built. A cell that fails is logged and left to the
    coarse data until the server starts again."""
    log = log or sys.stderr
    folder = os.path.join(data, FOLDER)
    built = []
    if not os.path.exists(os.path.join(folder, INDEX)):
        # The map file names the index: one removed by hand is made again.
        try:
            os.makedirs(folder, exist_ok=True)
            with locked(os.path.join(folder, "index.lock")):
                write_index(folder)
        except OSError as e:
            log.write("fine_cells: %s\n" % e)
    for x, y in cells_meeting(box):
        name = cell_name(x, y)
        done = os.path.join(folder, name + ".done")
        if os.path.exists(done):
            continue
        if len(built) >= MOST_A_REQUEST:
            log.write("fine_cells: the cell %s is left to a later request (%d built for this one)\n"
                      % (name, len(built)))
            continue
        with _failed_lock:
            if name in _failed:
                continue
        try:
            with locked(os.path.join(folder, name + ".lock")):
                # Another request (or server) may have built it meanwhile.
                if os.path.exists(done):
                    continue
                start = time.monotonic()
                build_cell(folder, x, y)
                with locked(os.path.join(folder, "index.lock")):
                    write_index(folder)
            built.append(name)
            log.write("fine_cells: built the cell %s in %.1f s\n" % (name, time.monotonic() - start))
        except (OSError, subprocess.CalledProcessError, ValueError, KeyError) as e:
            with _failed_lock:
                _failed.add(name)
            detail = getattr(e, "stderr", None)
            if isinstance(detail, bytes):
                detail = detail.decode("utf-8", "replace")
            log.write("fine_cells: the cell %s is drawn from the coarse data: %s%s\n"
                      % (name, e, (": " + detail.strip()) if detail else ""))
    return built


def main():
    """fine_cells.py DATA WEST SOUTH EAST NORTH: builds the cells of a box
    (to measure them, or to build an area ahead of a trip);
    fine_cells.py DATA: starts the cells afresh, with none built."""
    if len(sys.argv) == 2:
        empty_index(sys.argv[1])
        return
    if len(sys.argv) != 6:
        sys.exit(main.__doc__)
    ensure(sys.argv[1], [float(v) for v in sys.argv[2:6]])


if __name__ == "__main__":
    main()
