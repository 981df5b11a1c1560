#!/usr/bin/env python3
"""Import and render times of the local map server's OpenStreetMap imports.

Writes a synthetic city as OSM XML (a street grid with named streets of
every class, a motorway, a railway, buildings on every block, parks, woods,
lakes, a river, suburbs), imports it into a temporary imports folder and
reports the import time and the GeoPackage size per MB of extract, and
the time and size of its search index against them; then
renders the 1:50k sheet over the city centre through the server's CGI
request 20 times with the import and 20 times without it (median and worst
of the wall time and of the CPU time the server's CGI processes took).

usage: bench/mapserver_import_bench.py [--blocks N]   (N x N blocks of 150 m)
Needs MapServer, lighttpd, GDAL and GMT as the local map server does.
"""
import argparse, math, os, resource, statistics, subprocess, sys, tempfile, time, urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "mapserver", "kiv-mapserver.sh")
CENTRE = (49.89, -97.14)   # the city centre
BLOCK_M = 150.0


def write_city(path, blocks):
    lat0, lon0 = CENTRE
    dlat = BLOCK_M / 111320.0
    dlon = BLOCK_M / (111320.0 * math.cos(math.radians(lat0)))
    half = blocks / 2.0
    nid = [0]
    wid = [0]
    out = open(path, "w")
    out.write('<?xml version="1.0" encoding="UTF-8"?>\n<osm version="0.6" generator="kiv bench">\n')

    def node(lat, lon, tags=()):
        nid[0] += 1
        t = "".join('<tag k="%s" v="%s"/>' % kv for kv in tags)
        out.write('<node id="%d" lat="%.7f" lon="%.7f">%s</node>\n' % (nid[0], lat, lon, t))
        return nid[0]

    # Ways after all nodes, as in a sorted extract (which imports need).
    ways = []

    def way(refs, tags):
        wid[0] += 1
        ways.append('<way id="%d">%s%s</way>\n' % (wid[0], "".join('<nd ref="%d"/>' % r for r in refs),
                                                    "".join('<tag k="%s" v="%s"/>' % kv for kv in tags)))

    def at(i, j):
        return lat0 + (j - half) * dlat, lon0 + (i - half) * dlon

    grid = {}
    for i in range(blocks + 1):
        for j in range(blocks + 1):
            grid[i, j] = node(*at(i, j))

    def street_class(k):
        if k % 20 == 0:
            return "primary"
        if k % 10 == 0:
            return "secondary"
        if k % 5 == 0:
            return "tertiary"
        return "residential"

    # Streets, one way per block as in real data.
    for i in range(blocks + 1):
        for j in range(blocks):
            way([grid[i, j], grid[i, j + 1]], [("highway", street_class(i)), ("name", "%d Street" % i)])
    for j in range(blocks + 1):
        for i in range(blocks):
            way([grid[i, j], grid[i + 1, j]], [("highway", street_class(j)), ("name", "%d Avenue" % j)])
    # A motorway and a railway across, on their own nodes.
    for kind, off, tags in (("motorway", 0.37, [("highway", "motorway"), ("name", "Perimeter Highway")]),
                            ("rail", 0.63, [("railway", "rail"), ("name", "Main Line")])):
        refs = [node(*at(i * 0.5, blocks * off)) for i in range(2 * blocks + 1)]
        way(refs, tags)
    # Buildings: four per block, parks and woods on some blocks, lakes.
    for i in range(blocks):
        for j in range(blocks):
            la, lo = at(i, j)
            if (i * 7 + j * 3) % 23 == 0:
                ring = [node(la + dlat * a, lo + dlon * b) for a, b in ((0.1, 0.1), (0.1, 0.9), (0.9, 0.9), (0.9, 0.1))]
                way(ring + ring[:1], [("leisure", "park")] if (i + j) % 2 else [("natural", "wood")])
                continue
            if (i * 5 + j * 11) % 97 == 0:
                ring = [node(la + dlat * a, lo + dlon * b) for a, b in ((0.15, 0.2), (0.2, 0.8), (0.85, 0.85), (0.8, 0.15))]
                way(ring + ring[:1], [("natural", "water"), ("name", "Pond %d-%d" % (i, j))])
                continue
            for a, b in ((0.15, 0.15), (0.15, 0.55), (0.55, 0.15), (0.55, 0.55)):
                ring = [node(la + dlat * (a + x), lo + dlon * (b + y)) for x, y in ((0, 0), (0, 0.3), (0.3, 0.3), (0.3, 0))]
                way(ring + ring[:1], [("building", "yes")])
    # A river along one side, built-up land and places.
    refs = [node(*at(-1 + 0.3 * math.sin(k / 3.0), k * 0.5)) for k in range(2 * blocks + 1)]
    way(refs, [("waterway", "river"), ("name", "Test River")])
    ring = [grid[0, 0], grid[0, blocks], grid[blocks, blocks], grid[blocks, 0]]
    way(ring + ring[:1], [("landuse", "residential")])
    node(lat0, lon0, [("place", "city"), ("name", "Gridton"), ("population", "700000")])
    for k, (a, b) in enumerate(((0.2, 0.2), (0.2, 0.8), (0.8, 0.2), (0.8, 0.8))):
        node(*at(blocks * a, blocks * b), tags=[("place", "suburb"), ("name", "Suburb %d" % k)])
    out.writelines(ways)
    out.write("</osm>\n")
    out.close()


def run(cmd, env):
    return subprocess.run(cmd, env=env, capture_output=True, text=True, check=True).stdout


def children_cpu(pid):
    """CPU seconds of the web server's children that drew the sheets: the
    MapServer and GIF workers it keeps running, and any finished ones. Wall
    time on a loaded machine says more about the other processes than about
    the drawing."""
    def stat(p):
        with open("/proc/%s/stat" % p) as f:
            return f.read().rsplit(")", 1)[1].split()
    total = int(stat(pid)[13]) + int(stat(pid)[14])  # finished children: cutime, cstime
    for p in os.listdir("/proc"):
        try:
            fields = stat(p) if p.isdigit() else None
        except OSError:
            continue
        if fields and int(fields[1]) == pid:  # running children: utime, stime
            total += int(fields[11]) + int(fields[12])
    return total / os.sysconf("SC_CLK_TCK")


def render_times(root, pid, n=20):
    # The program's own request for the 1:50k sheet at the centre (no grid).
    p = subprocess.run(["cs2cs", "-f", "%.6f", "EPSG:4326", "EPSG:3978"], input="%f %f\n" % CENTRE,
                       capture_output=True, text=True, check=True).stdout.split()
    x, y = float(p[0]), float(p[1])
    url = (root + "/cgi-bin/mapserv?map=/home/atlas/mapdata/english/toporama.map"
           "&map_web_template=/home/atlas/mapdata/to_zope_new.html&layers=north_arrow%20other_features%20roads"
           "%20hydrography%20boundary%20builtup%20vegetation%20populated_places%20railway%20power_network"
           "%20manmade_features%20designated_areas%20water_features%20water_saturated_soils%20relief"
           "%20contours%20toponymy%20contour&mapxy=" + "%f%%20%f" % (x, y) +
           "&scale=50000&mapsize=480%20360&map_northarrow_class_label_angle=90")
    times, cpus = [], []
    for _ in range(n):
        t, c = time.monotonic(), children_cpu(pid)
        page = urllib.request.urlopen(url).read().decode()
        img = page.split("<td>image</td><td>")[1].split("</td>")[0]
        urllib.request.urlopen(root + img).read()
        times.append(time.monotonic() - t)
        cpus.append(children_cpu(pid) - c)
    return statistics.median(times), max(times), statistics.median(cpus), max(cpus)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--blocks", type=int, default=60)
    a = ap.parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        osm = os.path.join(tmp, "city.osm")
        write_city(osm, a.blocks)
        mb = os.path.getsize(osm) / 1e6
        env = dict(os.environ, KIV_MAPIMPORTS=os.path.join(tmp, "imports"))
        t = time.monotonic()
        ru = resource.getrusage(resource.RUSAGE_CHILDREN)
        run(["bash", SCRIPT, "import", osm, "city"], env)
        took = time.monotonic() - t
        ru2 = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = ru2.ru_utime + ru2.ru_stime - ru.ru_utime - ru.ru_stime
        size = os.path.getsize(os.path.join(tmp, "imports", "city.gpkg")) / 1e6
        print("extract %.1f MB (%d x %d blocks): import %.1f s (%.2f s per MB; CPU %.1f s, %.2f s per MB), "
              "GeoPackage %.1f MB (%.2f MB per MB)"
              % (mb, a.blocks, a.blocks, took, took / mb, cpu, cpu / mb, size, size / mb))
        # The search index's share: made again alone, as the import made it.
        t = time.monotonic()
        ru = resource.getrusage(resource.RUSAGE_CHILDREN)
        run(["/usr/bin/python3", os.path.join(HERE, "..", "mapserver", "place_index.py"), "build",
             os.path.join(tmp, "imports", "city.gpkg")], env)
        index_took = time.monotonic() - t
        ru2 = resource.getrusage(resource.RUSAGE_CHILDREN)
        index_cpu = ru2.ru_utime + ru2.ru_stime - ru.ru_utime - ru.ru_stime
        index_size = os.path.getsize(os.path.join(tmp, "imports", "city.places")) / 1e6
        print("search index: %.1f s (CPU %.1f s), %.0f%% of the import's time without it (CPU %.0f%%); "
              "%.2f MB, %.0f%% of the GeoPackage"
              % (index_took, index_cpu, 100 * index_took / (took - index_took),
                 100 * index_cpu / (cpu - index_cpu), index_size, 100 * index_size / size))
        rundir = os.path.join(tmp, "run")
        root = run(["bash", SCRIPT, "start", rundir], env).strip().splitlines()[-1]
        with open(os.path.join(rundir, "lighttpd.pid")) as f:
            pid = int(f.read())
        try:
            for what in ("with the import:   ", "without the import:"):
                if what.startswith("without"):
                    run(["bash", SCRIPT, "remove", "city"], env)
                t = render_times(root, pid)
                print("1:50k sheet over the city, %s median %4.0f ms, worst %4.0f ms; CPU median %4.0f ms, "
                      "worst %4.0f ms (20 sheets)" % (what, *(v * 1000 for v in t)))
        finally:
            run(["bash", SCRIPT, "stop", rundir], env)


if __name__ == "__main__":
    sys.exit(main())
