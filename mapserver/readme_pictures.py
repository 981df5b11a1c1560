#!/usr/bin/env python3
"""Takes the README's pictures from the running program: docs/level-0.png ..
docs/level-4.png (one per zoom level, small) and docs/moving-map.png.

Kiv runs under Xvfb with a simulated receiver driving along the Ottawa
River and sheets from the local map server on its default data and two
hand-made extracts (imported into a folder of its own): one where the drive
starts, with what the topographic map draws from an import, and one in
southern Germany for docs/abroad.png; each picture is the program's window
(`import -window`) once the sheet has been stored and painted and the
receiver has a fix.

usage: mapserver/readme_pictures.py [BUILD_DIR] [--levels]
       (default: ./build; --levels: the five level pictures only; needs
       the kiv and kivsim targets, Xvfb, xdotool and ImageMagick)
"""
import glob
import math
import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests"))
import gui_session as g  # noqa: E402

DRIVE = "45.4200,-75.7140;45.4270,-75.6990;45.4350,-75.6870"
# Outside Canada: a small hand-made extract on a lake shore in southern
# Germany, drawn in Web Mercator; the drive follows its main road.
ABROAD = (47.600, 9.560)
ABROAD_DRIVE = "47.5935,9.5450;47.6000,9.5600;47.6060,9.5760"


def osm_extract():
    """node(lat, lon, tags), way(points, tags) and write(path) of an
    extract written as OpenStreetMap XML (nodes, then ways, as imports
    need them)."""
    nodes, ways = [], []

    def node(lat, lon, tags=()):
        nodes.append((len(nodes) + 1, lat, lon, tags))
        return len(nodes)

    def way(points, tags):
        refs = [node(a, b) for a, b in points[:-1]]
        # A ring ends on its first node: an area, not a line.
        refs.append(refs[0] if points[-1] == points[0] else node(*points[-1]))
        ways.append((refs, tags))

    def write(path):
        esc = lambda t: t.replace("&", "&amp;").replace('"', "&quot;").replace("<", "&lt;")
        with open(path, "w") as out:
            out.write('<?xml version="1.0" encoding="UTF-8"?>\n<osm version="0.6" generator="kiv">\n')
            for nid, lat, lon, tags in nodes:
                t = "".join(f'<tag k="{k}" v="{esc(v)}"/>' for k, v in tags)
                out.write(f'<node id="{nid}" version="1" lat="{lat:.7f}" lon="{lon:.7f}">{t}</node>\n')
            for wid, (refs, tags) in enumerate(ways, start=1):
                nd = "".join(f'<nd ref="{r}"/>' for r in refs)
                t = "".join(f'<tag k="{k}" v="{esc(v)}"/>' for k, v in tags)
                out.write(f'<way id="{wid}" version="1">{nd}{t}</way>\n')
            out.write("</osm>\n")

    return node, way, write


def write_drive_extract(path):
    """Where the drive starts, on the land south-east of the river: a
    numbered main road along the drive that bridges a river, the river
    through a named lake, a named long-distance trail, a track from a
    parking to a campsite, a footway up a wooded peak with its height."""
    lat0, lon0 = map(float, DRIVE.split(";")[0].split(","))
    node, way, write = osm_extract()

    def at(x, y):  # km east and north of the start
        return lat0 + y / 111.2, lon0 + x / (111.2 * math.cos(math.radians(lat0)))

    def line(points, tags):
        way([at(x, y) for x, y in points], tags)

    road = [("highway", "primary"), ("ref", "17"), ("name", "River Road")]
    line([(-2, -14), (-1, -5), (-0.55, -2.2), (-0.3, -1.0)], road)
    line([(-0.3, -1.0), (-0.15, -0.6)], road + [("bridge", "yes")])
    line([(-0.15, -0.6), (0, 0), (1.17, 0.78), (2.11, 1.67), (4, 2.4), (8, 2.8), (15, 2.0)], road)
    line([(7, -8), (5, -5), (3, -2.5), (1.2, -1.1), (-0.2, -0.8), (-1.2, -0.5)],
         [("waterway", "river"), ("name", "Petite Rivière")])
    # The lake, along the river.
    (cx, cy), u, v = (2.0, -1.5), (-0.70, 0.72), (0.72, 0.70)
    ring = [(cx + 1.0 * math.cos(t) * u[0] + 0.45 * math.sin(t) * v[0],
             cy + 1.0 * math.cos(t) * u[1] + 0.45 * math.sin(t) * v[1])
            for t in (k / 16 * 2 * math.pi for k in range(16))]
    line(ring + ring[:1], [("natural", "water"), ("name", "Long Lake")])
    wood = [(0.55 + 0.4 * math.cos(k / 12 * 2 * math.pi), 0.85 + 0.28 * math.sin(k / 12 * 2 * math.pi)) for k in range(12)]
    line(wood + wood[:1], [("natural", "wood")])
    line([(-0.5, -9), (0.4, -4.5), (0.8, -2.4), (0.55, -0.9), (0.85, 0.4), (1.3, 1.6), (2.4, 3.3), (4, 5.6)],
         [("highway", "path"), ("name", "Outaouais Trail")])
    line([(0.25, -0.35), (0.8, -0.42), (1.3, -0.45)], [("highway", "track")])
    line([(1.0, 0.8), (0.75, 0.88), (0.5, 0.9)], [("highway", "footway"), ("name", "Eagle Hill Path")])
    node(*at(0.5, 0.9), [("natural", "peak"), ("name", "Eagle Hill"), ("ele", "165")])
    node(*at(1.3, -0.45), [("tourism", "camp_site"), ("name", "Long Lake Campground")])
    node(*at(0.25, -0.35), [("amenity", "parking")])
    write(path)


def write_abroad_extract(path):
    """A village by a named lake: a numbered main road, streets, a named
    trail, a stream, a peak with its height and a few buildings."""
    lat0, lon0 = ABROAD
    node, way, write = osm_extract()

    ring = [(lat0 + 0.006 + 0.004 * math.sin(t / 12 * 2 * math.pi), lon0 - 0.014 + 0.007 * math.cos(t / 12 * 2 * math.pi))
            for t in range(12)]
    way(ring + ring[:1], [("natural", "water"), ("name", "Mooser See")])
    way([(lat0 - 0.0065, lon0 - 0.0150), (lat0, lon0), (lat0 + 0.006, lon0 + 0.016)],
        [("highway", "primary"), ("ref", "B 31"), ("name", "Seestrasse")])
    for k in range(-3, 4):
        way([(lat0 + 0.002 * k + 0.001, lon0 - 0.006), (lat0 + 0.002 * k + 0.001, lon0 + 0.006)],
            [("highway", "residential"), ("name", f"Gasse {k + 4}")])
        for j in range(-2, 3):
            la, lo = lat0 + 0.002 * k + 0.0018, lon0 + 0.0025 * j
            way([(la, lo), (la, lo + 0.001), (la + 0.0006, lo + 0.001), (la + 0.0006, lo), (la, lo)],
                [("building", "house")])
    way([(lat0 + 0.004, lon0 + 0.006), (lat0 + 0.012, lon0 + 0.012), (lat0 + 0.018, lon0 + 0.010)],
        [("highway", "path"), ("name", "Hoehenweg")])
    way([(lat0 + 0.020, lon0 - 0.010), (lat0 + 0.008, lon0 - 0.004), (lat0 - 0.008, lon0 - 0.006)],
        [("waterway", "stream"), ("name", "Dorfbach")])
    node(lat0 + 0.018, lon0 + 0.010, [("natural", "peak"), ("name", "Hoernle"), ("ele", "712")])
    node(lat0 + 0.001, lon0 + 0.001, [("place", "village"), ("name", "Moos")])
    write(path)


LEVEL_NAMES = ("1:10M", "1:1M", "1:200k", "1:50k", "1:20k")


def picture(build, server, level, out, width=None, desktop=False, drive=DRIVE):
    """desktop: the window maximised on a 1920 x 1080 screen with openbox,
    else the small window of 480 x 360 sheets."""
    s = g.Session(build, screen=(1920, 1080) if desktop else (1600, 1200))
    try:
        if desktop:
            s.start_window_manager()
        sim = subprocess.Popen([s.kivsim, "--mode", "nmea", "--speed", "40", "--waypoints", drive],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        s.procs.append(sim)
        pty = g._read_line(sim.stdout, 10)
        g.check(pty.startswith("/dev/"), f"kivsim printed {pty!r}")
        os.makedirs(os.path.join(s.dir, "Maps"))
        s.write("kiv_ini.txt", f"Com1={pty}\nServer={server}\nProbe={server}/\nMaps=./Maps\nInit={level}\n"
                               "Hair=1\nDash=km/h\n")
        s.write("kiv_dev.txt", "NMEA\n")
        s.write("kiv_com.txt", "COM1\nSmall\n")
        lat, lon = map(float, drive.split(";")[0].split(","))
        s.write("kiv_pos.txt", "%s %d %02d 00\n%s %d %02d 00\n" % ("N" if lat > 0 else "S", abs(lat), abs(lat) % 1 * 60,
                                                               "E" if lon > 0 else "W", abs(lon), abs(lon) % 1 * 60))
        s.write("kiv_state.txt", "Maximised=1\n" if desktop else "Width=482\nHeight=411\nFollow=0\n")
        s.start_kiv()
        s.wait_painted()
        # The sheet is stored, the receiver has a fix (its time is in the
        # title), and the window has been painted after both.
        # Maximised, the view needs some forty sheets: most of them, or a
        # minute and a half of fetching.
        deadline = time.monotonic() + (90 if desktop else 60)
        while len(glob.glob(os.path.join(s.dir, "Maps", "**", "*.gif"), recursive=True)) < (30 if desktop else 1):
            if desktop and time.monotonic() > deadline:
                break
            g.check(time.monotonic() < deadline, "no sheet stored")
            time.sleep(0.1)
        s.wait_title(lambda t: ":" in t.split(" - ")[-1], "showing the receiver's time", timeout=30)
        for _ in range(2):
            s.wait_line(r"^kiv: painted \d+$", timeout=30)
        shot = subprocess.run(["timeout", "20", "import", "-window", s.window, "png:-"], env=s.env,
                              capture_output=True, check=True).stdout
        resize = ["-resize", f"{width}x"] if width else []
        # The small pictures in 256 colours: they live in git.
        palette = [] if desktop else ["+dither", "-colors", "256"]
        # Written here, not by convert, which reads % and [ in a file name as its own.
        png = subprocess.run(["convert", "png:-", *resize, *palette, "-strip", "png:-"], input=shot, check=True,
                             timeout=20, capture_output=True).stdout
        with open(out, "wb") as f:
            f.write(png)
        # Quit through the menu: Gps > Exit.
        s.menu("g", "x")
        s.wait_exit()
    finally:
        s.close()


def main():
    args = [a for a in sys.argv[1:] if a != "--levels"]
    levels_only = len(args) < len(sys.argv) - 1
    build = os.path.abspath(args[0] if args else os.path.join(ROOT, "build"))
    missing = g.missing_tools()
    if missing:
        print("needs " + ", ".join(missing))
        return 1
    run = os.path.join(os.environ.get("TMPDIR", "/tmp"), "kiv-readme-mapserver")
    script = os.path.join(ROOT, "mapserver", "kiv-mapserver.sh")
    # The default data and the hand-made extracts, whatever else has been
    # imported.
    env = dict(os.environ, KIV_MAPIMPORTS=os.path.join(run, "imports"))
    os.makedirs(run, exist_ok=True)
    for name, write in (("drive", write_drive_extract), ("moos", write_abroad_extract)):
        extract = os.path.join(run, name + ".osm")
        write(extract)
        subprocess.run(["bash", script, "import", extract, "--replace"], env=env, check=True, capture_output=True)
    server = subprocess.run(["bash", script, "start", run], capture_output=True, text=True, env=env,
                            check=True).stdout.strip().splitlines()[-1]
    docs = os.path.join(ROOT, "docs")
    try:
        if not levels_only:
            picture(build, server, 3, os.path.join(docs, "moving-map.png"), width=1280, desktop=True)
            print("docs/moving-map.png")
            picture(build, server, 4, os.path.join(docs, "abroad.png"), width=1280, desktop=True, drive=ABROAD_DRIVE)
            print("docs/abroad.png")
        for level, name in enumerate(LEVEL_NAMES):
            picture(build, server, level, os.path.join(docs, f"level-{level}.png"), width=240)
            print(f"docs/level-{level}.png ({name})")
    finally:
        subprocess.run(["bash", script, "stop", run], env=env)
    return 0


if __name__ == "__main__":
    sys.exit(main())
