#!/usr/bin/env python3
"""A drive recorded as GPX and a GPX track opened over the map, on the real
window under Xvfb: Options > Track with Gpx= set records the simulated
receiver's drive, Gps > Open Track... draws a track and a waypoint in the
first overlay colour, Gps > Close Tracks takes them off, Exit through the
menu; gpsbabel and xmllint then read the recorded file.
Usage: track_overlay_gui_test.py BUILD_DIR open."""
import os
import re
import shutil
import subprocess
import sys
import time

from gui_session import PANE_X, PANE_Y, Failure, Session, check, main
from gui_test import FIX_LAT, FIX_LON, LEVEL, exit_through_menu, until_screen

OVERLAY = 0xFF6000
TRACK_LAT = FIX_LAT - 0.02
TRACK_LONS = [FIX_LON - 0.06 + 0.006 * i for i in range(21)]
CAMP = (FIX_LAT + 0.02, FIX_LON - 0.04)


def gpx_text():
    points = "".join(f'<trkpt lat="{TRACK_LAT:.6f}" lon="{lon:.6f}"/>' for lon in TRACK_LONS)
    return ('<?xml version="1.0"?><gpx version="1.1" creator="test" xmlns="http://www.topografix.com/GPX/1/1">'
            f'<wpt lat="{CAMP[0]}" lon="{CAMP[1]}"><name>Camp</name></wpt>'
            f"<trk><trkseg>{points}</trkseg></trk></gpx>\n")


def pixel_of(s, lat, lon):
    x, y = s.run_fixture("marker", s.dir, FIX_LAT, FIX_LON, LEVEL, 0, lat, lon).split()
    return int(x), int(y)


def recorded_points(folder):
    names = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
    if not names:
        return None, 0
    with open(os.path.join(folder, names[-1])) as f:
        return os.path.join(folder, names[-1]), f.read().count("<trkpt ")


def case_open(build, save):
    s = Session(build)
    try:
        s.run_fixture("sheets", s.dir, FIX_LAT, FIX_LON, LEVEL)
        # The receiver stands at the fix, so the view Auto Pan keeps on it
        # stays put while the overlay is checked; it records all the same.
        s.settings(s.start_receiver(FIX_LAT, FIX_LON), LEVEL)
        with open(os.path.join(s.dir, "kiv_ini.txt"), "a") as f:
            f.write("Gpx=gpx\n")
        os.mkdir(os.path.join(s.dir, "gpx"))
        s.write("trip.gpx", gpx_text())
        s.start_kiv()
        s.wait_painted()
        s.menu("o", "t")
        s.wait_line(r"^kiv: menu 275 checked 1$")

        s.menu("g", "t")
        chooser = s.find_window("^Select a file$")
        s.answer(chooser, "ctrl+l")
        s.xdo("type", "--delay", "5", os.path.join(s.dir, "trip.gpx"))
        s.answer(chooser, "Return")
        s.wait_gone("^Select a file$")
        vertices = [pixel_of(s, TRACK_LAT, lon) for lon in TRACK_LONS]
        vertices = [(x, y) for x, y in vertices if PANE_X <= x < PANE_X + 480 and PANE_Y <= y < PANE_Y + 360]
        check(len(vertices) > 10, f"only {len(vertices)} track points on the sheet")
        cx, cy = pixel_of(s, *CAMP)

        def shown(shot):
            bad = [f"track at {p} is {s.client_pixel(shot, *p):06X}" for p in vertices
                   if s.client_pixel(shot, *p) != OVERLAY]
            if s.client_pixel(shot, cx, cy) != OVERLAY or s.client_pixel(shot, cx - 3, cy - 3) != 0:
                bad.append("no waypoint mark")
            # The name in the overlay colour right of the mark.
            near = sum(1 for dx in range(6, 40) for dy in range(-8, 8)
                       if _close(s.client_pixel(shot, cx + dx, cy + dy), OVERLAY))
            if near < 5:
                bad.append(f"waypoint name: {near} pixels of its colour")
            return bad

        until_screen(s, shown, "the opened track")
        if save:
            s.screenshot(save)

        s.menu("g", "k")

        def gone(shot):
            bad = []
            for x, y in vertices[::4]:
                want = int(s.run_fixture("colour", FIX_LAT, FIX_LON, LEVEL, 0, x, y), 16)
                if s.client_pixel(shot, x, y) != want:
                    bad.append(f"({x},{y}) is {s.client_pixel(shot, x, y):06X}, not the sheet's {want:06X}")
            return bad

        until_screen(s, gone, "the map after Close Tracks")

        # The drive is in the GPX file: wait for a few points, then quit.
        deadline = time.monotonic() + 20
        while recorded_points(os.path.join(s.dir, "gpx"))[1] < 3:
            check(time.monotonic() < deadline, f"recorded points: {recorded_points(os.path.join(s.dir, 'gpx'))}")
            try:
                s.wait_line(r"^kiv: painted \d+$", timeout=2)
            except Failure:
                pass
        exit_through_menu(s)
        path, count = recorded_points(os.path.join(s.dir, "gpx"))
        check(re.search(r"/kiv-\d{8}-\d{6}\.gpx$", path), f"recorded file {path}")
        lint = subprocess.run(["xmllint", "--noout", path], capture_output=True, text=True, timeout=30)
        check(lint.returncode == 0, f"xmllint: {lint.stderr[:200]}")
        babel = subprocess.run(["gpsbabel", "-t", "-i", "gpx", "-f", path, "-o", "unicsv", "-F", "-"],
                               capture_output=True, text=True, timeout=30)
        rows = [l for l in babel.stdout.splitlines()[1:] if l.strip()]
        check(babel.returncode == 0 and len(rows) == count, f"gpsbabel read {len(rows)} of {count} points")
        for row in rows:
            lat, lon = map(float, row.split(",")[1:3])
            check(abs(lat - FIX_LAT) < 1e-4 and abs(lon - FIX_LON) < 1e-4, f"recorded point {row}")
    finally:
        s.close()


def _close(colour, want):
    if colour is None:
        return False
    return all(abs(((colour >> k) & 255) - ((want >> k) & 255)) < 40 for k in (0, 8, 16))


if __name__ == "__main__":
    missing = [t for t in ("gpsbabel", "xmllint") if shutil.which(t) is None]
    if missing:
        print("skipped: missing " + ", ".join(missing))
        sys.exit(77)
    sys.exit(main({"open": case_open}))
