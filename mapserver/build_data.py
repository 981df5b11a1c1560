#!/usr/bin/env python3
"""Builds the local map server's data into a cache folder (never committed).

Shorelines, lakes, rivers and borders come from GMT's bundled GSHHG data;
towns from towns.csv beside this script; the NTS grids are generated. All
layers are written as shapefiles in the map projection (EPSG:3978), plus a
land/water raster that serves as the aerial image layer.

usage: build_data.py CACHE_DIR
"""
import json, os, subprocess, sys, tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
# The service area, with a margin, and a finer region around the capital.
AREA = (-152, -43, 38, 77)
FINE = (-81, -70, 42.5, 48.5)
# The finest land/water raster covers the capital region only (it is slow to make).
FINE_RASTER = (-77.5, -73.5, 44.8, 46.3)


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


def inside(pt, box):
    return box[0] <= pt[0] <= box[1] and box[2] <= pt[1] <= box[3]


def write_geojson(path, features):
    with open(path, "w") as f:
        json.dump({"type": "FeatureCollection", "features": features}, f)


def line_features(lines, **props):
    return [{"type": "Feature", "properties": props,
             "geometry": {"type": "LineString", "coordinates": l}} for l in lines]


def shoreline_layers(tmp):
    feats = {"shore": [], "rivers": [], "borders": []}
    for kind, opt in (("shore", "-W"), ("rivers", "-Ia"), ("borders", "-Na")):
        coarse = gmt_dump(AREA, "i", opt)
        fine = gmt_dump(FINE, "f", opt)
        # Outside the fine region use the intermediate resolution only.
        coarse = [l for l in coarse if not all(inside(p, FINE) for p in l)]
        feats[kind] = line_features(coarse + fine)
    for kind, f in feats.items():
        write_geojson(os.path.join(tmp, kind + ".geojson"), f)
    return list(feats)


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


def land_raster(tmp, out):
    # Land/water mask as a pseudo aerial image: GMT rasterises the shorelines.
    for tag, region, res, step in (("coarse", AREA, "i", "0.02"), ("fine", FINE_RASTER, "f", "0.001")):
        nc = os.path.join(tmp, "land_%s.nc" % tag)
        subprocess.run(["gmt", "grdlandmask", "-R%g/%g/%g/%g" % region, "-I" + step, "-D" + res,
                        "-N0/1/0/1/0", "-G" + nc], check=True, capture_output=True)
        tif = os.path.join(tmp, "land_%s.tif" % tag)
        subprocess.run(["gdal_translate", "-q", "-of", "GTiff", "-a_srs", "EPSG:4326", nc, tif], check=True)
        subprocess.run(["gdalwarp", "-q", "-overwrite", "-t_srs", "EPSG:3978", "-r", "near", "-ot", "Byte", "-dstnodata", "255",
                        "-co", "COMPRESS=DEFLATE", "-co", "TILED=YES",
                        tif, os.path.join(out, "land_%s.tif" % tag)], check=True)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        names = shoreline_layers(tmp)
        town_layer(tmp)
        grid_layer(tmp, "million_grid", 8, 4, lon0=-152, label=nts_million)
        grid_layer(tmp, "t250k_grid", 2, 1, lon0=-152, label=nts_250k)
        grid_layer(tmp, "t50k_grid", 0.5, 0.25, lon0=-81, lon1=-70, lat0=42.5, lat1=48.5)
        for n in names + ["towns", "million_grid", "million_grid_labels", "t250k_grid",
                                 "t250k_grid_labels", "t50k_grid"]:
            project(tmp, out, n)
        land_raster(tmp, out)
    # The north arrow sits at a fixed pixel of every sheet (upper left).
    with open(os.path.join(out, "arrow.csv"), "w") as f:
        f.write("WKT,id\n\"POINT (36 44)\",1\n")
    with open(os.path.join(out, "READY"), "w") as f:
        f.write("1\n")


if __name__ == "__main__":
    main()
