#!/usr/bin/python3
"""The search index of the names of an OpenStreetMap import (places,
streets, water, paths, points of interest, peaks, stations) and of the
default data's towns, and the search over them.

Each import NAME.gpkg has its index in NAME.places beside it, an SQLite
file of its own (GDAL warns about full-text tables inside a GeoPackage): a
table of the names with their kind, position (WGS84) and importance, and an
FTS5 table of their words. The rows are numbered by importance, so that a
search reads the matches of the most important kinds first and stops once it
has enough: a one-letter search in millions of names reads a few hundred.
Within one importance they lie in bands of latitude, so that the nearest of
a crowded kind (every "Lac ..." of a province) come from the bands around
the point, not from all of them.

Folding: case and accents through FTS5's unicode61 tokenizer
(remove_diacritics 2), and ß as ss, done here on both the names and the
searched text. Text is searched as plain words, each quoted as an FTS5
string and bound as a parameter, so no text is a query error.

Ranking: by how the name matches (the whole name, whole words, the
beginnings of words), then importance (city, town, village; main roads
before service roads), then distance from the point given.

usage: place_index.py build GPKG          (re)makes GPKG's index
       place_index.py search IMPORTS DATA TEXT [LAT,LON] [LIMIT]
                                         prints the matches, tab-separated:
                                         name, kind, latitude, longitude,
                                         import; notes on stderr
"""
import glob, math, os, re, sqlite3, sys, tempfile, unicodedata, urllib.parse

SUFFIX = ".places"
TOWNS = "towns.places"
# The index's layout; an older one is made again.
VERSION = 2
# Bands of latitude a degree holds, and how many matches of one importance
# are read in index order before only the bands around the point are read.
BANDS = 4
DENSE = 1500
# The importance of each kind (lower first) in an import.
CITY, TOWN, VILLAGE = 10, 20, 30
SOURCES = [
    # table, kind (SQL), importance (SQL), columns the SQL needs
    ("places", "CASE rank WHEN 1 THEN 'city' WHEN 2 THEN 'town' WHEN 3 THEN 'village' ELSE 'hamlet' END",
     "rank * 10", ("rank",)),
    ("pois", "kind", "CASE kind WHEN 'station' THEN 35 WHEN 'peak' THEN 45 WHEN 'bay' THEN 46 ELSE 64 END", ("kind",)),
    ("water", "'water'", "42", ()),
    ("waterways", "CASE rank WHEN 1 THEN 'river' ELSE 'stream' END", "43 + rank * 10", ("rank",)),
    ("road_names", "'street'", "50 + rank", ("rank",)),
    # Service roads are not in road_names; one entry per name.
    ("roads", "'street'", "57", ("rank",)),
    ("paths", "'path'", "65", ("kind",)),
    ("railways", "'railway'", "70", ()),
]


def fold(text):
    """Text as the index holds it: ß (and ẞ) as ss; case and accents are
    the tokenizer's."""
    return unicodedata.normalize("NFC", text).replace("ß", "ss").replace("ẞ", "SS")


WORD = re.compile(r"[^\W_]+")


def words(text):
    """The words of text as the tokenizer splits it (letters and digits)."""
    return WORD.findall(fold(text))


def plain_text(raw):
    """Any bytes or string as text: bytes that are not UTF-8 become U+FFFD,
    as do lone surrogates (undecodable bytes of a command line)."""
    if isinstance(raw, bytes):
        return raw.decode("utf-8", "replace")
    return raw.encode("utf-8", "surrogateescape").decode("utf-8", "replace")


def fts_string(word):
    return '"' + word.replace('"', '""') + '"'


def representative(geom):
    """A point of the geometry to go to: the point itself, the middle
    vertex of a line, a point on the surface of an area."""
    from osgeo import ogr
    kind = ogr.GT_Flatten(geom.GetGeometryType())
    if kind == ogr.wkbPoint:
        return geom.GetX(), geom.GetY()
    if kind == ogr.wkbLineString and geom.GetPointCount():
        return halfway(geom.GetPoints())
    p = geom.PointOnSurface()
    if p is None or p.IsEmpty():
        p = geom.Centroid()
    return p.GetX(), p.GetY()


def halfway(points):
    """The point half way along a line of (x, y...) points."""
    steps = [math.hypot(b[0] - a[0], b[1] - a[1]) for a, b in zip(points, points[1:])]
    left = sum(steps) / 2
    for a, b, step in zip(points, points[1:], steps):
        if step >= left and step > 0:
            t = left / step
            return a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t
        left -= step
    return points[0][0], points[0][1]


def write_index(out, rows):
    """Writes the index of rows (name, kind, importance, lat, lon) to out in
    one step (a temporary file moved over it)."""
    # By importance, then in bands of latitude (see dense_class).
    rows.sort(key=lambda r: (r[2], math.floor(r[3] * BANDS)))
    fd, tmp = tempfile.mkstemp(dir=os.path.dirname(os.path.abspath(out)), prefix=".new", suffix=SUFFIX)
    os.close(fd)
    try:
        db = sqlite3.connect(tmp)
        db.executescript("""
            PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;
            CREATE TABLE names(id INTEGER PRIMARY KEY, name TEXT, kind TEXT, imp INTEGER, lat REAL, lon REAL);
            CREATE VIRTUAL TABLE words USING fts5(text, whole, content='', columnsize=0,
                                                  tokenize="unicode61 remove_diacritics 2", prefix='1 2 3');
        """)
        db.executemany("INSERT INTO names VALUES (?, ?, ?, ?, ?, ?)",
                       ((i + 1, r[0], r[1], r[2], r[3], r[4]) for i, r in enumerate(rows)))
        # The whole name as one word too, for the matches of the whole name.
        db.executemany("INSERT INTO words(rowid, text, whole) VALUES (?, ?, ?)",
                       ((i + 1, fold(r[0]), "".join(words(r[0]))) for i, r in enumerate(rows)))
        db.execute("INSERT INTO words(words) VALUES ('optimize')")
        db.execute("CREATE TABLE classes AS SELECT imp, MIN(id) AS first, MAX(id) AS last FROM names GROUP BY imp")
        db.execute("PRAGMA user_version = %d" % VERSION)
        db.commit()
        db.close()
        os.chmod(tmp, 0o644)
        os.replace(tmp, out)
    finally:
        if os.path.exists(tmp):
            os.unlink(tmp)


def build(gpkg, out=None):
    """Makes the index of an import's GeoPackage (beside it by default)."""
    from osgeo import ogr, osr
    ogr.UseExceptions()
    out = out or index_path(gpkg)
    ds = ogr.Open(gpkg)
    wgs84 = osr.SpatialReference()
    wgs84.ImportFromEPSG(4326)
    wgs84.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
    rows = []
    for table, kind, imp, _ in SOURCES:
        layer = ds.GetLayerByName(table)
        if layer is None:
            continue
        where = "name IS NOT NULL AND name <> ''"
        if table == "roads":
            where += " AND rank = 7"
        group = " GROUP BY name" if table == "roads" else ""
        sql = 'SELECT name, %s AS k, %s AS i, geom FROM "%s" WHERE %s%s' % (kind, imp, table, where, group)
        result = ds.ExecuteSQL(sql)
        found, points = [], []
        for f in result:
            g = f.GetGeometryRef()
            if g is None or g.IsEmpty():
                continue
            found.append((f.GetField(0), f.GetField(1), f.GetField(2)))
            points.append(representative(g))
        ds.ReleaseResultSet(result)
        if not points:
            continue
        srs = layer.GetSpatialRef()
        srs.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
        lonlat = osr.CoordinateTransformation(srs, wgs84).TransformPoints(points)
        rows += [(n, k, i, p[1], p[0]) for (n, k, i), p in zip(found, lonlat)]
    ds = None
    write_index(out, rows)


def build_towns(data, out):
    """Makes the index of the default data's towns (the cache's towns and
    world_towns layers)."""
    from osgeo import ogr, osr
    ogr.UseExceptions()
    wgs84 = osr.SpatialReference()
    wgs84.ImportFromEPSG(4326)
    wgs84.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
    rows = []
    for layer_name in ("towns", "world_towns"):
        ds = ogr.Open(os.path.join(data, layer_name + ".shp"))
        layer = ds.GetLayer(0)
        srs = layer.GetSpatialRef()
        srs.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
        to_wgs84 = osr.CoordinateTransformation(srs, wgs84)
        found, points = [], []
        for f in layer:
            g = f.GetGeometryRef()
            if f.GetField("name") and g is not None:
                found.append((f.GetField("name"), f.GetField("pop") or 0))
                points.append((g.GetX(), g.GetY()))
        points = to_wgs84.TransformPoints(points) if points else []
        for (name, pop), p in zip(found, points):
            kind, imp = ("city", CITY) if pop >= 100000 else ("town", TOWN) if pop >= 10000 else ("village", VILLAGE)
            rows.append((name, kind, imp, p[1], p[0]))
        ds = None
    write_index(out, rows)


def index_path(gpkg):
    return gpkg[:-len(".gpkg")] + SUFFIX if gpkg.endswith(".gpkg") else gpkg + SUFFIX


def index_state(path, source):
    """"current", "missing" (or older than its source or of an older
    layout) or "damaged"."""
    try:
        if os.stat(path).st_mtime_ns < os.stat(source).st_mtime_ns:
            return "missing"
    except OSError:
        return "missing"
    try:
        db = sqlite3.connect("file:%s?mode=ro" % urllib.parse.quote(path), uri=True)
        try:
            version = db.execute("PRAGMA user_version").fetchone()[0]
            db.execute("SELECT 1 FROM classes LIMIT 1").fetchall()
        finally:
            db.close()
    except sqlite3.Error:
        return "missing" if version_of_older_layout(path) else "damaged"
    return "current" if version == VERSION else "missing"


def version_of_older_layout(path):
    """Whether path is a readable index of an older layout (without the
    tables this one reads)."""
    try:
        db = sqlite3.connect("file:%s?mode=ro" % urllib.parse.quote(path), uri=True)
        try:
            return 0 < db.execute("PRAGMA user_version").fetchone()[0] < VERSION
        finally:
            db.close()
    except sqlite3.Error:
        return False


class Query:
    """The searched text as the three match queries, best first: the whole
    name, whole words, the beginnings of words."""

    def __init__(self, text):
        w = words(plain_text(text))
        self.empty = not w
        self.tiers = [] if self.empty else [
            "whole : " + fts_string("".join(w)),
            "text : " + " ".join(fts_string(x) for x in w),
            "text : " + " ".join(fts_string(x) + "*" for x in w),
        ]


def search_index(db, query, near, limit):
    """The best limit matches of one index as (tier, importance, distance,
    name, kind, lat, lon); distance is 0 without near. The rows come in
    the order of their numbers, which is that of importance: each match
    query is read only until it has enough and its importance changes."""
    if near:
        lat0, lon0 = near
        # Squared degrees on a local plane: enough to order by nearness.
        dist = ("(n.lat - :lat) * (n.lat - :lat) + min(abs(n.lon - :lon), 360 - abs(n.lon - :lon)) * "
                "min(abs(n.lon - :lon), 360 - abs(n.lon - :lon)) * :k")
        params = {"lat": lat0, "lon": lon0, "k": math.cos(math.radians(lat0)) ** 2}
    else:
        dist, params = "0", {}
    sql = ("SELECT n.id, n.imp, %s, n.name, n.kind, n.lat, n.lon FROM words JOIN names n ON n.id = words.rowid "
           "WHERE words MATCH :m ORDER BY words.rowid" % dist)
    found, seen = [], set()
    for tier, m in enumerate(query.tiers):
        need = limit - len(found)
        if need <= 0:
            break
        params["m"] = m
        rows, last, in_last = [], None, 0
        for row in db.execute(sql, params):
            if row[0] in seen:
                continue
            if last is not None and row[1] != last:
                break
            rows.append(row)
            if len(rows) == need:
                if not near:
                    break
                last = row[1]
            if last is not None:
                in_last += 1
                if in_last > DENSE:
                    # Too many of one importance to read them all: the
                    # nearest of them, from the bands around the point.
                    rows = [r for r in rows if r[1] != last]
                    rows += dense_class(db, dist, params, last, need - len(rows), seen)
                    break
        rows.sort(key=lambda r: (r[1], r[2], r[0]))
        for r in rows[:need]:
            seen.add(r[0])
            found.append((tier, r[1], r[2]) + tuple(r[3:]))
    return found


def dense_class(db, dist, params, imp, count, seen):
    """The count nearest matches of importance imp not in seen, read from
    ever wider bands of latitude around the point (the rows of one
    importance are in bands of latitude), until the farthest of them is
    nearer than the band's edge; at last from all of them."""
    first, last = db.execute("SELECT first, last FROM classes WHERE imp = ?", (imp,)).fetchone()
    sql = ("SELECT n.id, n.imp, %s AS d, n.name, n.kind, n.lat, n.lon FROM words JOIN names n ON n.id = words.rowid "
           "WHERE words MATCH :m AND words.rowid BETWEEN :a AND :b ORDER BY d, n.id LIMIT :n" % dist)
    for half in (0.5, 2.0, 8.0, None):
        if half is None:
            a, b = first, last
        else:
            a = band_start(db, first, last, math.floor((params["lat"] - half) * BANDS))
            b = band_start(db, first, last, math.floor((params["lat"] + half) * BANDS) + 1) - 1
        rows = [r for r in db.execute(sql, dict(params, a=a, b=b, n=count + len(seen))) if r[0] not in seen][:count]
        if half is None or (len(rows) == count and rows[-1][2] <= half * half):
            return rows


def band_start(db, first, last, band):
    """The first row number in first..last whose band is band or later
    (last + 1 when none is)."""
    lo, hi = first, last + 1
    while lo < hi:
        mid = (lo + hi) // 2
        if math.floor(db.execute("SELECT lat FROM names WHERE id = ?", (mid,)).fetchone()[0] * BANDS) < band:
            lo = mid + 1
        else:
            hi = mid
    return lo


def open_index(path):
    db = sqlite3.connect("file:%s?mode=ro" % urllib.parse.quote(path), uri=True, check_same_thread=False)
    db.execute("SELECT 1 FROM classes LIMIT 1").fetchall()
    return db


def indexes(imports, data, notes):
    """(name, index path) of every import (made on first use when missing
    or older than its import) and of the towns; notes why any is left
    out."""
    found = []
    for gpkg in sorted(glob.glob(os.path.join(glob.escape(imports), "*.gpkg"))) if imports else []:
        name = os.path.basename(gpkg)[:-len(".gpkg")]
        path = index_path(gpkg)
        state = index_state(path, gpkg)
        if state == "damaged":
            notes.append("skipping %s: its search index %s is damaged: import it again" % (name, path))
            continue
        if state != "current":
            try:
                build(gpkg, path)
            except Exception as e:  # GDAL and SQLite errors alike: this import is left out
                notes.append("skipping %s: cannot make its search index: %s" % (name, e))
                continue
        found.append((name, path))
    if data:
        path = os.path.join(data, TOWNS)
        source = os.path.join(data, "world_towns.shp")
        if os.path.exists(source) and index_state(path, source) != "current":
            try:
                build_towns(data, path)
            except Exception as e:
                notes.append("the default towns are not searched: %s" % e)
        if os.path.exists(path):
            found.append(("towns", path))
    return found


def search(sources, text, near=None, limit=20, notes=None, cache=None):
    """The best limit matches over every index of sources (name, path) as
    (name, kind, lat, lon, source), best first. An index that cannot be
    read is left out with a note; cache keeps open indexes by path."""
    query = Query(text)
    if query.empty or limit <= 0:
        return []
    results = []
    for name, path in sources:
        try:
            db = cache.get(path) if cache is not None else None
            if db is None:
                db = open_index(path)
                if cache is not None:
                    cache[path] = db
            for r in search_index(db, query, near, limit):
                results.append(r + (name,))
        except sqlite3.Error as e:
            if cache is not None:
                cache.pop(path, None)
            if notes is not None:
                notes.append("skipping %s: its search index %s cannot be read (%s): import it again" % (name, path, e))
    results.sort(key=lambda r: r[:3])
    return [r[3:] for r in results[:limit]]


def parse_near(text):
    """(lat, lon) of LAT,LON, or None when it is not one."""
    try:
        lat, lon = (float(v) for v in text.split(","))
    except ValueError:
        return None
    if not (-90 <= lat <= 90 and -180 <= lon <= 180):
        return None
    return lat, lon


def line(r):
    """A result as a line of text: tabs and line ends in a name become spaces."""
    clean = lambda s: re.sub(r"[\t\r\n]", " ", s)
    return "%s\t%s\t%.6f\t%.6f\t%s" % (clean(r[0]), r[1], r[2], r[3], r[4])


def main(argv):
    if len(argv) >= 3 and argv[1] == "build":
        build(argv[2])
        return 0
    if len(argv) >= 5 and argv[1] == "search":
        near = parse_near(argv[5]) if len(argv) > 5 and argv[5] else None
        if len(argv) > 5 and argv[5] and near is None:
            sys.stderr.write("kiv-mapserver: --near takes LAT,LON in degrees: %s\n" % plain_text(argv[5]))
            return 1
        limit = int(argv[6]) if len(argv) > 6 and argv[6] else 20
        notes = []
        sources = indexes(argv[2], argv[3], notes)
        if not sources:
            for n in notes:
                sys.stderr.write("kiv-mapserver: %s\n" % n)
            sys.stderr.write("kiv-mapserver: nothing to search: no import has a search index and the towns are missing\n")
            return 1
        out = sys.stdout.buffer
        for r in search(sources, plain_text(argv[4]), near, limit, notes):
            out.write((line(r) + "\n").encode())
        for n in notes:
            sys.stderr.write("kiv-mapserver: %s\n" % n)
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
