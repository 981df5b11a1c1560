#!/usr/bin/env python3
"""Sheet times of the local map server against an earlier version of it.

Starts this tree's map server and the one of another git revision (default
d92ad36, the last CGI server before FastCGI) side by side on the same data, and
fetches sheets at every level through the program's own request (the
reply, then its GIF), alternating between the two servers, with no import,
with one large synthetic import under the sheets, and with 20 small imports
elsewhere in Canada. Prints the median and worst wall time per sheet.

usage: bench/mapserver_sheet_bench.py [--old-ref REV] [--sheets N] [--blocks N]
Needs MapServer, lighttpd, GDAL and GMT as the local map server does.
"""
import argparse, glob, math, os, random, shutil, statistics, subprocess, sys, tempfile, time, urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
sys.path.insert(0, HERE)
import mapserver_import_bench as city  # noqa: E402  (the synthetic city)

LEVELS = (("1:10M", 10000000), ("1:1M", 1000000), ("1:200k", 200000), ("1:50k", 50000), ("1:20k", 20000))
LAYERS = ("north_arrow%20other_features%20roads%20hydrography%20boundary%20builtup%20vegetation%20populated_places"
          "%20railway%20power_network%20manmade_features%20designated_areas%20water_features%20water_saturated_soils"
          "%20relief%20contours%20toponymy%20contour")


def run(cmd, env):
    return subprocess.run(cmd, env=env, capture_output=True, text=True, check=True).stdout


def lcc(lat, lon):
    p = subprocess.run(["cs2cs", "-f", "%.6f", "EPSG:4326", "EPSG:3978"], input="%f %f\n" % (lat, lon),
                       capture_output=True, text=True, check=True).stdout.split()
    return float(p[0]), float(p[1])


def sheet_time(root, x, y, scale):
    url = (root + "/cgi-bin/mapserv?map=/home/atlas/mapdata/english/toporama.map"
           "&map_web_template=/home/atlas/mapdata/to_zope_new.html&layers=" + LAYERS +
           "&mapxy=%f%%20%f&scale=%d&mapsize=480%%20360&map_northarrow_class_label_angle=90" % (x, y, scale))
    t = time.monotonic()
    page = urllib.request.urlopen(url).read().decode()
    img = page.split("<td>image</td><td>")[1].split("</td>")[0]
    gif = urllib.request.urlopen(root + img).read()
    took = time.monotonic() - t
    if gif[:4] != b"GIF8":
        raise SystemExit("%s sent no GIF for %s" % (root, url))
    return took


class Server:
    def __init__(self, name, script, tmp):
        self.name, self.script = name, script
        self.imports = os.path.join(tmp, name + "-imports")
        self.run_dir = os.path.join(tmp, name + "-run")
        self.env = dict(os.environ, KIV_MAPIMPORTS=self.imports)
        self.root = None

    def start(self, gpkgs):
        shutil.rmtree(self.imports, ignore_errors=True)
        os.makedirs(self.imports)
        for g in gpkgs:
            shutil.copy(g, self.imports)
        self.root = run(["bash", self.script, "start", self.run_dir], self.env).strip().splitlines()[-1]

    def stop(self):
        run(["bash", self.script, "stop", self.run_dir], self.env)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--old-ref", default="d92ad36")  # the last CGI server
    ap.add_argument("--sheets", type=int, default=15, help="sheets per level and server")
    ap.add_argument("--blocks", type=int, default=120, help="the large import: N x N blocks (120: about 25 MB)")
    a = ap.parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        old_tree = os.path.join(tmp, "old")
        os.makedirs(old_tree)
        archive = subprocess.run(["git", "-C", REPO, "archive", a.old_ref, "mapserver"], capture_output=True,
                                 check=True).stdout
        subprocess.run(["tar", "-x", "-C", old_tree], input=archive, check=True)
        new = Server("new", os.path.join(REPO, "mapserver", "kiv-mapserver.sh"), tmp)
        old = Server(a.old_ref, os.path.join(old_tree, "mapserver", "kiv-mapserver.sh"), tmp)

        # The imports, made once with this tree's importer.
        store = os.path.join(tmp, "store")
        env = dict(os.environ, KIV_MAPIMPORTS=store)
        osm = os.path.join(tmp, "x.osm")
        centre = city.CENTRE
        city.write_city(osm, a.blocks)
        mb = os.path.getsize(osm) / 1e6
        run(["bash", new.script, "import", osm, "large"], env)
        rng = random.Random(1)
        for k in range(20):
            # 50 to 500 km from the city: never on its sheets below 1:1M.
            d, b = rng.uniform(50, 500), rng.uniform(0, 2 * math.pi)
            city.CENTRE = (centre[0] + d * math.sin(b) / 111.3,
                           centre[1] + d * math.cos(b) / (111.3 * math.cos(math.radians(centre[0]))))
            city.write_city(osm, 6)
            run(["bash", new.script, "import", osm, "small%d" % k], env)
        city.CENTRE = centre
        large = [os.path.join(store, "large.gpkg")]
        small = sorted(glob.glob(os.path.join(store, "small*.gpkg")))

        cx, cy = lcc(*centre)
        print("Sheet wall times (ms), median / worst of %d sheets per level, 480 x 360, the server of %s against "
              "this tree's, alternating:" % (a.sheets, a.old_ref))
        print("%-28s %-7s %17s %17s %7s" % ("imports", "level", a.old_ref, "this tree", "speed-up"))
        for label, gpkgs in (("none", []), ("one of %.0f MB (under the sheets)" % mb, large),
                             ("20 small ones (elsewhere)", small)):
            for s in (old, new):
                s.start(gpkgs)
            try:
                for s in (old, new):
                    for _ in range(4):  # the first requests start the workers
                        sheet_time(s.root, cx, cy, 50000)
                for level, scale in LEVELS:
                    times = {old.name: [], new.name: []}
                    for k in range(a.sheets):
                        # Sheets around the centre, a third of a sheet apart.
                        x = cx + (k % 5 - 2) * scale * 0.1693 / 3
                        y = cy + (k // 5 - 1) * scale * 0.127 / 3
                        for s in ((old, new) if k % 2 else (new, old)):
                            times[s.name].append(sheet_time(s.root, x, y, scale) * 1000)
                    o, n = times[old.name], times[new.name]
                    print("%-28s %-7s %8.0f / %6.0f %8.0f / %6.0f %6.1fx"
                          % (label, level, statistics.median(o), max(o), statistics.median(n), max(n),
                             statistics.median(o) / statistics.median(n)))
                    label = ""
            finally:
                for s in (old, new):
                    s.stop()


if __name__ == "__main__":
    sys.exit(main())
