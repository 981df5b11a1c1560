#!/usr/bin/env python3
"""Builds the local map server's data into a cache folder (never committed).

Shorelines, lakes, rivers and borders come from GMT's bundled GSHHG data;
towns from towns.csv beside this script, and beyond Canada from the GeoNames
towns that libgeonames carries; the NTS grids are generated. All
layers are written as shapefiles in the Canadian plane (EPSG:3978), but the
coarser world layers around them, in longitude and latitude. Land
and water are polygons made from the same shorelines as the shore lines,
so fill and outline coincide at every scale (they also make the land and
water image of the aerial layer). The files are made in a staging folder
and moved in one by one, so that a running server never reads half a file.
Abroad at 1:200k and finer the map server draws the full-resolution
shorelines, which fine_cells.py builds a cell at a time when a sheet first
needs them; this builder only starts their folder afresh.

usage: build_data.py CACHE_DIR [world]   (world: the world layers only)
"""
import ctypes, json, os, subprocess, sys, tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
# The service area, with a margin, and a finer region around the capital.
AREA = (-152, -43, 38, 77)
FINE = (-81, -70, 42.5, 48.5)
# Web Mercator's bounds.
WORLD = (-180, 180, -85, 85)
# The version of the data written to READY (READY_WORLD for the world
# layers): kiv-mapserver.sh rebuilds older ones.
DATA_VERSION = "4"
WORLD_VERSION = "6"


def gmt_dump(region, resolution, what):
    r = "-R%g/%g/%g/%g" % region
    out = subprocess.run(["gmt", "coast", r, "-D" + resolution, what, "-M"],
                         capture_output=True, text=True, check=True).stdout
    lines, cur = [], []
    for ln in out.splitlines():
        if ln.startswith(">"):
            if len(cur) > 1:
                lines.append(cur)
            cur = []
            continue
        p = ln.split()
        if len(p) >= 2:
            try:
                cur.append([float(p[0]), float(p[1])])
            except ValueError:
                pass
    if len(cur) > 1:
        lines.append(cur)
    return lines


def drawn_once(lines):
    """The lines with every stretch drawn by an earlier line left out. GMT
    gives a border that bounds two bins (or two states) more than once,
    and a dashed line drawn twice out of step looks solid."""
    seen, out = set(), []
    for line in lines:
        run = []
        for a, b in zip(line, line[1:]):
            edge = (min(tuple(a), tuple(b)), max(tuple(a), tuple(b)))
            if edge in seen or a == b:
                if len(run) > 1:
                    out.append(run)
                run = []
                continue
            seen.add(edge)
            run = run or [a]
            run.append(b)
        if len(run) > 1:
            out.append(run)
    return out


def inside(pt, box):
    return box[0] <= pt[0] <= box[1] and box[2] <= pt[1] <= box[3]


def write_geojson(path, features):
    # dumps, not dump: dump encodes in Python, ten times slower on the
    # full-resolution shorelines.
    with open(path, "w") as f:
        f.write(json.dumps({"type": "FeatureCollection", "features": features}))


def line_features(lines, **props):
    return [{"type": "Feature", "properties": props,
             "geometry": {"type": "LineString", "coordinates": l}} for l in lines]


def box_ring(region):
    w, e, s, n = region
    return [[w, s], [e, s], [e, n], [w, n], [w, s]]


def ogr_sql(src, dst, sql, *extra):
    if os.path.exists(dst):
        os.remove(dst)
    name = os.path.splitext(os.path.basename(dst))[0]
    subprocess.run(["ogr2ogr", "-f", "GeoJSON", dst, src, "-dialect", "SQLite", "-sql", sql, "-nln", name] + list(extra),
                   check=True, capture_output=True)


def shoreline_layers(tmp):
    # The fine region uses the full-resolution shorelines, the rest the
    # intermediate ones, each cut at the fine region's edge, so that the
    # shore lines are exactly the edges of the water polygons below.
    fine_box = "BuildMbr(%g, %g, %g, %g, 4326)" % (FINE[0], FINE[2], FINE[1], FINE[3])
    # Rivers without GMT's river-lakes (-IA, not -Ia): those are the banks
    # of wide rivers, which the shorelines draw as water already; their own
    # outlines ran a few pixels beside the shore at 1:20k.
    for kind, opt in (("shore", "-W"), ("rivers", "-IA"), ("borders", "-Na")):
        for tag, region, res in (("coarse", AREA, "i"), ("fine", FINE, "f")):
            write_geojson(os.path.join(tmp, "%s_%s_raw.geojson" % (kind, tag)),
                          line_features(drawn_once(gmt_dump(region, res, opt))))
        ogr_sql(os.path.join(tmp, kind + "_coarse_raw.geojson"), os.path.join(tmp, kind + "_coarse.geojson"),
                "SELECT ST_Difference(geometry, %s) AS geometry FROM \"%s_coarse_raw\"" % (fine_box, kind))
        ogr_sql(os.path.join(tmp, kind + "_fine_raw.geojson"), os.path.join(tmp, kind + "_fine.geojson"),
                "SELECT ST_Intersection(geometry, %s) AS geometry FROM \"%s_fine_raw\"" % (fine_box, kind))
        feats = []
        for tag in ("coarse", "fine"):
            with open(os.path.join(tmp, "%s_%s.geojson" % (kind, tag))) as f:
                feats += [ft for ft in json.load(f)["features"] if ft["geometry"]]
        for ft in feats:
            ft["properties"] = {}
        write_geojson(os.path.join(tmp, kind + ".geojson"), feats)
    return ["shore", "rivers", "borders"]


def water_polygons(tmp, parts=(("coarse", AREA, "i", [FINE]), ("fine", FINE, "f", [])), name="water", shorelines=None):
    """Land and water as polygons (water = 1 or 0), from the same shorelines
    as the shore layer (gmt_dump's -W lines, or shorelines[tag] when the
    caller has them): they are noded together with the region edges and
    polygonised, and each face is classified by GMT at its inner point."""
    faces = []
    for tag, region, res, holes in parts:
        shore = shorelines[tag] if shorelines and tag in shorelines else gmt_dump(region, res, "-W")
        lines = shore + [box_ring(region)] + [box_ring(h) for h in holes]
        src = os.path.join(tmp, "edges_%s.geojson" % tag)
        write_geojson(src, line_features(lines))
        out = os.path.join(tmp, "faces_%s.geojson" % tag)
        ogr_sql(src, out, "SELECT ST_Polygonize(g) AS geometry FROM (SELECT ST_Union(geometry) AS g FROM \"edges_%s\")"
                % tag, "-explodecollections", "-nlt", "POLYGON")
        withpts = os.path.join(tmp, "faces_pt_%s.geojson" % tag)
        ogr_sql(out, withpts, "SELECT geometry, X(ST_PointOnSurface(geometry)) AS px, "
                "Y(ST_PointOnSurface(geometry)) AS py FROM \"faces_%s\"" % tag)
        with open(withpts) as f:
            polys = json.load(f)["features"]
        inner = [(ft["properties"]["px"], ft["properties"]["py"]) for ft in polys]
        text = "".join("%.9f %.9f %d\n" % (p[0], p[1], i) for i, p in enumerate(inner))
        # -N ocean/land/lake/island/pond: keep the points in water.
        wet = subprocess.run(["gmt", "select", "-R%g/%g/%g/%g" % region, "-D" + res, "-Nk/s/k/s/k"],
                             input=text, capture_output=True, text=True, check=True).stdout
        wet_ids = {int(ln.split()[2]) for ln in wet.splitlines() if len(ln.split()) >= 3}
        for i, ft in enumerate(polys):
            c = inner[i]
            # The faces inside a hole are left to the finer data there.
            if any(inside(c, h) for h in holes):
                continue
            ft["properties"] = {"water": 1 if i in wet_ids else 0}
            faces.append(ft)
    write_geojson(os.path.join(tmp, name + ".geojson"), faces)


def world_layers(final):
    """The rest of the world, for Web Mercator sheets: land and water,
    shorelines, rivers and borders from the low-resolution shorelines, and
    towns, in
    longitude and latitude (EPSG:4326), around the service area that the
    finer layers cover. Written with their own READY_WORLD marker, so that
    an older server sharing the cache keeps its data."""
    hole = "BuildMbr(%g, %g, %g, %g, 4326)" % (AREA[0], AREA[2], AREA[1], AREA[3])
    with tempfile.TemporaryDirectory() as tmp, tempfile.TemporaryDirectory(dir=final) as out:
        for kind, opt in (("shore", "-W"), ("rivers", "-IA"), ("borders", "-Na")):
            write_geojson(os.path.join(tmp, "world_%s_raw.geojson" % kind), line_features(drawn_once(gmt_dump(WORLD, "l", opt))))
            ogr_sql(os.path.join(tmp, "world_%s_raw.geojson" % kind), os.path.join(tmp, "world_%s.geojson" % kind),
                    "SELECT ST_Difference(geometry, %s) AS geometry FROM \"world_%s_raw\"" % (hole, kind))
        water_polygons(tmp, (("world", WORLD, "l", [AREA]),), "world_faces")
        # The water only, cut into 10 degree cells: the oceans are single
        # faces that every sheet would read whole otherwise.
        write_geojson(os.path.join(tmp, "cells.geojson"),
                      [{"type": "Feature", "properties": {},
                        "geometry": {"type": "Polygon", "coordinates": [box_ring((x, x + 10, y, min(y + 10, 85)))]}}
                       for x in range(-180, 180, 10) for y in range(-85, 85, 10)])
        db = os.path.join(tmp, "cut.gpkg")
        for name, more in (("world_faces", []), ("cells", ["-update"])):
            subprocess.run(["ogr2ogr", "-f", "GPKG"] + more + [db, os.path.join(tmp, name + ".geojson"), "-nln", name],
                           check=True, capture_output=True)
        ogr_sql(db, os.path.join(tmp, "world_water.geojson"),
                "SELECT CollectionExtract(ST_Intersection(f.geom, c.geom), 3) AS geometry, 1 AS water "
                "FROM world_faces f JOIN cells c "
                "ON MbrIntersects(f.geom, c.geom) AND ST_Intersects(f.geom, c.geom) WHERE f.water = 1",
                "-explodecollections", "-nlt", "POLYGON")
        world_town_layer(tmp)
        for name in ("world_water", "world_shore", "world_rivers", "world_borders", "world_towns"):
            # The names as they are (UTF-8, which MapServer draws), not Latin-1.
            subprocess.run(["ogr2ogr", "-f", "ESRI Shapefile", "-overwrite", "-lco", "ENCODING=UTF-8",
                            os.path.join(out, name + ".shp"), os.path.join(tmp, name + ".geojson")],
                           check=True, capture_output=True)
            subprocess.run(["shptree", os.path.join(out, name + ".shp")], capture_output=True)
        for name in sorted(os.listdir(out)):
            os.replace(os.path.join(out, name), os.path.join(final, name))
    # The full-resolution cells are built when a sheet first needs them;
    # those of an older version go.
    import fine_cells
    fine_cells.empty_index(final)
    with open(os.path.join(final, "READY_WORLD"), "w") as f:
        f.write(WORLD_VERSION + "\n")


def world_town_layer(tmp):
    """The towns of 15000 people and more of the world but Canada (whose
    towns are in towns.csv), from libgeonames' copy of GeoNames."""
    try:
        lib = ctypes.CDLL("libgeonames.so.0")
    except OSError as e:
        sys.exit("build_data.py: the world's towns come from libgeonames0, which is missing "
                 "(scripts/install-deps.sh): %s" % e)
    lib.geonames_get_n_cities.restype = ctypes.c_int
    lib.geonames_get_city.restype = ctypes.c_void_p
    lib.geonames_get_city.argtypes = [ctypes.c_uint]
    lib.geonames_city_free.argtypes = [ctypes.c_void_p]
    for f, kind in (("name", ctypes.c_char_p), ("country_code", ctypes.c_char_p), ("latitude", ctypes.c_double),
                    ("longitude", ctypes.c_double), ("population", ctypes.c_uint)):
        getattr(lib, "geonames_city_get_" + f).restype = kind
        getattr(lib, "geonames_city_get_" + f).argtypes = [ctypes.c_void_p]
    feats = []
    for i in range(lib.geonames_get_n_cities()):
        city = lib.geonames_get_city(i)
        if lib.geonames_city_get_country_code(city) != b"CA":
            feats.append({"type": "Feature",
                          "properties": {"name": lib.geonames_city_get_name(city).decode("utf-8", "replace"),
                                         "pop": lib.geonames_city_get_population(city)},
                          "geometry": {"type": "Point", "coordinates": [lib.geonames_city_get_longitude(city),
                                                                        lib.geonames_city_get_latitude(city)]}})
        lib.geonames_city_free(city)
    # The biggest first: where names collide, MapServer keeps the first.
    feats.sort(key=lambda ft: -ft["properties"]["pop"])
    write_geojson(os.path.join(tmp, "world_towns.geojson"), feats)


def town_layer(tmp):
    feats = []
    with open(os.path.join(HERE, "towns.csv")) as f:
        next(f)
        for ln in f:
            name, lat, lon, pop = ln.strip().split(",")
            feats.append({"type": "Feature",
                          "properties": {"name": name, "pop": int(pop)},
                          "geometry": {"type": "Point", "coordinates": [float(lon), float(lat)]}})
    write_geojson(os.path.join(tmp, "towns.geojson"), feats)


def grid_layer(tmp, name, dlon, dlat, lon0=-152.0, lon1=-44.0, lat0=40.0, lat1=76.0, label=None):
    feats = []
    lon = lon0
    while lon <= lon1 + 1e-9:
        feats.append({"type": "Feature", "properties": {"label": ""},
                      "geometry": {"type": "LineString",
                                   "coordinates": [[lon, lat0 + k * 0.25] for k in range(int((lat1 - lat0) / 0.25) + 1)]}})
        lon += dlon
    lat = lat0
    while lat <= lat1 + 1e-9:
        feats.append({"type": "Feature", "properties": {"label": ""},
                      "geometry": {"type": "LineString",
                                   "coordinates": [[lon0 + k * 0.25, lat] for k in range(int((lon1 - lon0) / 0.25) + 1)]}})
        lat += dlat
    write_geojson(os.path.join(tmp, name + ".geojson"), feats)
    if label:
        feats = []
        lat = lat0
        while lat < lat1:
            lon = lon0
            while lon < lon1:
                feats.append({"type": "Feature", "properties": {"label": label(lat, lon)},
                              "geometry": {"type": "Point", "coordinates": [lon + dlon / 2, lat + dlat / 2]}})
                lon += dlon
            lat += dlat
        write_geojson(os.path.join(tmp, name + "_labels.geojson"), feats)


def nts_million(lat, lon):
    # National Topographic System 1:1M block number, south of 68 N.
    col = int((-lon - 48) // 8)
    row = int((lat - 40) // 4)
    return "%d" % (col * 10 + row) if col >= 0 else ""


def nts_250k(lat, lon):
    letters = "ABCDEFGHIJKLMNOP"
    block = nts_million(lat, lon)
    r = int((lat - 40) % 4)
    c = int(((-lon - 48) % 8) // 2)
    order = [3, 2, 1, 0] if r % 2 == 0 else [0, 1, 2, 3]
    return block + letters[r * 4 + order[c]] if block else ""


def project(tmp, out, name):
    subprocess.run(["ogr2ogr", "-f", "ESRI Shapefile", "-s_srs", "EPSG:4326", "-t_srs", "EPSG:3978",
                    "-overwrite", os.path.join(out, name + ".shp"), os.path.join(tmp, name + ".geojson")],
                   check=True, capture_output=True)
    subprocess.run(["shptree", os.path.join(out, name + ".shp")], capture_output=True)


def main():
    final = sys.argv[1]
    os.makedirs(final, exist_ok=True)
    if sys.argv[2:] == ["world"]:
        world_layers(final)
        return
    with tempfile.TemporaryDirectory() as tmp, tempfile.TemporaryDirectory(dir=final) as out:
        names = shoreline_layers(tmp)
        town_layer(tmp)
        grid_layer(tmp, "million_grid", 8, 4, lon0=-152, label=nts_million)
        grid_layer(tmp, "t250k_grid", 2, 1, lon0=-152, label=nts_250k)
        grid_layer(tmp, "t50k_grid", 0.5, 0.25, lon0=-81, lon1=-70, lat0=42.5, lat1=48.5)
        water_polygons(tmp)
        for n in names + ["water", "towns", "million_grid", "million_grid_labels", "t250k_grid",
                                 "t250k_grid_labels", "t50k_grid"]:
            project(tmp, out, n)
        # The north arrow sits at a fixed pixel of every sheet (upper left).
        with open(os.path.join(out, "arrow.csv"), "w") as f:
            f.write("WKT,id\n\"POINT (36 44)\",1\n")
        for name in sorted(os.listdir(out)):
            os.replace(os.path.join(out, name), os.path.join(final, name))
    with open(os.path.join(final, "READY"), "w") as f:
        f.write(DATA_VERSION + "\n")


if __name__ == "__main__":
    main()
