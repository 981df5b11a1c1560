#!/usr/bin/env python3
"""The map view on the real window under Xvfb with openbox, measured from the
program's paint log ("kiv: view LEVEL CX CY W H MPP vehicle X Y plane EPSG"):
  window  first start at 1024 x 768; maximise, restore, full screen (F11,
          Esc; the menu bar stays) and a resize each give a pane that fills
          the client area; Exit works from the menu in full screen;
          a drag pans by the pointer's way with Auto Pan off; the wheel
          zooms about the pointer; the cursor keys act as they go down and
          repeat while held; the state is kept at exit and restored.
  drive   maximised on 1920 x 1080 with Look Ahead, a simulated drive at
          every level (Page Up notches between them): the vehicle is never drawn
          within 10% of the pane's edges.
  cross   a drive south across 40 N: the view switches once from 3978 to
          Web Mercator (3857), the vehicle well inside the pane throughout.
Usage: gui_view_test.py BUILD_DIR CASE."""
import re
import shutil
import subprocess
import sys
import time

from gui_session import PANE_X, PANE_Y, Session, check, main
from gui_test import FIX_LAT, FIX_LON, LEVEL, exit_through_menu

VIEW = r"^kiv: view (\d) (-?[\d.]+) (-?[\d.]+) (\d+) (\d+) ([\d.]+) vehicle (-?\d+) (-?\d+) plane (\d+)$"


def view_of(m):
    return {"level": int(m[1]), "cx": float(m[2]), "cy": float(m[3]), "w": int(m[4]), "h": int(m[5]),
            "mpp": float(m[6]), "vx": int(m[7]), "vy": int(m[8]), "plane": int(m[9])}


def wait_view(s, predicate, what, timeout=15):
    deadline = time.monotonic() + timeout
    while True:
        m = s.wait_line(VIEW, timeout=max(0.1, deadline - time.monotonic()))
        v = view_of(m)
        if predicate(v):
            return v
        check(time.monotonic() < deadline, f"{what}: last view {v}")


def fills(width, height):
    """The pane fills a client area of width x height below the toolbar."""
    return lambda v: v["w"] == width - 2 * PANE_X and v["h"] == height - PANE_Y - 2


def wait_size(s, predicate, what):
    m = s.wait_line(r"^kiv: size (\d+) (\d+)$")
    deadline = time.monotonic() + 15
    while not predicate(int(m[1]), int(m[2])):
        check(time.monotonic() < deadline, f"{what}: size {m[1]} x {m[2]}")
        m = s.wait_line(r"^kiv: size (\d+) (\d+)$", timeout=max(0.1, deadline - time.monotonic()))
    return int(m[1]), int(m[2])


def wmctrl(s, *args):
    rc = subprocess.run(["timeout", "10", "wmctrl", "-i", "-r", s.window, *args], env=s.env).returncode
    check(rc == 0, f"wmctrl {args} failed")


def plane_at(v, x, y):
    """The plane point in the middle of client pixel (x, y)."""
    return (v["cx"] + (x - PANE_X + 0.5 - v["w"] / 2) * v["mpp"], v["cy"] - (y - PANE_Y + 0.5 - v["h"] / 2) * v["mpp"])


def start(s, state):
    s.run_fixture("sheets", s.dir, FIX_LAT, FIX_LON, LEVEL)
    s.start_window_manager()
    s.settings(s.start_receiver(FIX_LAT, FIX_LON), LEVEL)
    s.write("kiv_state.txt", state)
    s.start_kiv()
    s.wait_painted()


def case_window(build, save):
    s = Session(build, screen=(1920, 1080))
    try:
        start(s, "")
        v = wait_view(s, fills(1024, 768), "the first window")

        s.window = hex(int(s.window))
        wmctrl(s, "-b", "add,maximized_vert,maximized_horz")
        w, h = wait_size(s, lambda w, h: w > 1800 and h > 900, "maximised")
        wait_view(s, fills(w, h), "the maximised view")
        wmctrl(s, "-b", "remove,maximized_vert,maximized_horz")
        wait_size(s, lambda w, h: (w, h) == (1024, 768), "restored")
        s.key("F11")
        s.wait_line(r"^kiv: full screen 1$")
        fw, fh = wait_size(s, lambda w, h: w == 1920 and 1000 < h < 1080, "full screen below the menu bar")
        wait_view(s, fills(fw, fh), "the full-screen view")
        s.key("Escape")
        s.wait_line(r"^kiv: full screen 0$")
        wait_size(s, lambda w, h: (w, h) == (1024, 768), "after full screen")
        rc, _ = s.xdo("windowsize", "--sync", s.window, 800, 600)
        w, h = wait_size(s, lambda w, h: w < 1000, "resized")
        m = s.wait_line(r"^kiv: placed client at (-?\d+) (-?\d+)$")
        ox, oy = int(m[1]), int(m[2])
        v = wait_view(s, fills(w, h), "the resized view")
        if save:
            s.screenshot(save)

        # A drag 200 px left and 100 px up: the map follows the pointer.
        s.xdo("mousemove", ox + 500, oy + 400, "mousedown", 1)
        for step in range(1, 11):
            s.xdo("mousemove", ox + 500 - 20 * step, oy + 400 - 10 * step)
        s.xdo("mouseup", 1)
        s.wait_line(r"^kiv: menu 273 checked 0$")
        moved = wait_view(s, lambda n: abs(n["cx"] - v["cx"] - 200 * v["mpp"]) < 1e-3 * v["mpp"] + 1e-6, "the drag")
        check(moved["level"] == v["level"] and abs(moved["cy"] - (v["cy"] - 100 * v["mpp"])) < 1e-3 * v["mpp"] + 1e-6,
              f"dragged from {v} to {moved}")

        # One notch of the wheel: a quarter of a doubling finer once its
        # animation is over, the point under the pointer kept.
        notch = moved["mpp"] / 2 ** 0.25
        s.xdo("mousemove", ox + 300, oy + 200, "click", 4)
        zoomed = wait_view(s, lambda n: abs(n["mpp"] - notch) < 1e-6 * notch, "the wheel")
        before, after = plane_at(moved, 300, 200), plane_at(zoomed, 300, 200)
        check(abs(before[0] - after[0]) <= zoomed["mpp"] and abs(before[1] - after[1]) <= zoomed["mpp"],
              f"the point under the pointer moved: {before} -> {after}")

        # The cursor keys act as they go down, with Shift as it was then:
        # held down, Right pans on as the key repeats.
        def moved_by(v, panes):
            return lambda n: abs(n["cx"] - v["cx"] - panes * v["w"] * v["mpp"]) < 1e-3 * v["mpp"] + 1e-6
        s.xdo("windowfocus", "--sync", s.window, "keydown", "shift", "keydown", "Left", "keyup", "shift", "keyup", "Left")
        west = wait_view(s, moved_by(zoomed, -1), "Shift+Left, Shift let go first")
        s.xdo("keydown", "Right")
        try:
            wait_view(s, lambda n: n["cx"] - west["cx"] > 0.6 * west["w"] * west["mpp"], "Right held down")
        finally:
            s.xdo("keyup", "Right")

        exit_through_menu(s)
        state = s.read("kiv_state.txt") or ""
        for key in (f"Width={w}", f"Height={h}", f"Level={zoomed['level']}", "AutoPan=0", "Maximised=0"):
            check(re.search("^" + key + "$", state, re.M), f"kiv_state.txt lacks {key}: {state!r}")
        # The next start comes back as it was left.
        s.start_kiv()
        s.wait_painted()
        wait_view(s, lambda n: fills(w, h)(n) and n["level"] == zoomed["level"], "the restored window")
        s.key("F11")
        s.wait_line(r"^kiv: full screen 1$")
        exit_through_menu(s)
    finally:
        s.close()


def inside(v):
    """The vehicle is drawn at least 10% of the pane away from every edge."""
    x, y = v["vx"] - PANE_X, v["vy"] - PANE_Y
    return 0.1 * v["w"] <= x < 0.9 * v["w"] and 0.1 * v["h"] <= y < 0.9 * v["h"]


def case_cross(build, save):
    s = Session(build, screen=(1600, 1200))
    try:
        lon = -75.7
        s.run_fixture("sheets", s.dir, 39.95, lon, 2)
        s.start_window_manager()
        s.settings(s.start_receiver(40.4, lon, 8000, [(39.75, lon)]), 2)
        s.write("kiv_state.txt", "Width=1024\nHeight=768\nFollow=1\n")
        s.start_kiv()
        s.wait_painted()
        planes, deadline = [], time.monotonic() + 60
        while planes.count(3857) < 5:
            check(time.monotonic() < deadline, f"the planes seen: {planes}")
            v = view_of(s.wait_line(VIEW))
            check(v["vx"] < 0 or inside(v), f"the vehicle at ({v['vx']}, {v['vy']}) in {v}")
            planes += [v["plane"]] if v["vx"] >= 0 else []
        check(planes[0] == 3978 and planes == sorted(planes, reverse=True), f"the planes in turn: {planes}")
        exit_through_menu(s)
    finally:
        s.close()


def case_drive(build, save):
    s = Session(build, screen=(1920, 1080))
    try:
        s.run_fixture("sheets", s.dir, FIX_LAT, FIX_LON, 0)
        s.start_window_manager()
        # A fast drive north-east, then back west: turns and a whole pane's
        # way at every level.
        port = s.start_receiver(FIX_LAT, FIX_LON, 400, [(FIX_LAT + 0.3, FIX_LON + 0.4), (FIX_LAT + 0.3, FIX_LON - 0.4)])
        s.settings(port, 0)
        s.write("kiv_state.txt", "Width=1024\nHeight=768\nMaximised=1\nFollow=1\n")
        s.start_kiv()
        s.wait_painted()
        for level in range(5):
            seen = 0
            deadline = time.monotonic() + 30
            while seen < 8:
                check(time.monotonic() < deadline, f"level {level}: {seen} views of the moving vehicle")
                v = view_of(s.wait_line(VIEW))
                if v["level"] != level or v["vx"] < 0:
                    continue
                check(v["w"] > 1800 and v["h"] > 900, f"the pane is {v['w']} x {v['h']}, not the maximised window")
                check(inside(v), f"level {level}: the vehicle at ({v['vx']}, {v['vy']}) in a {v['w']} x {v['h']} pane")
                seen += 1
            if level == LEVEL and save:
                s.screenshot(save)
            if level < 4:
                # Notches a quarter of a doubling each: into the next level's scales.
                s.key(*["Prior"] * [14, 10, 8, 6][level])
        exit_through_menu(s)
    finally:
        s.close()


if __name__ == "__main__":
    if shutil.which("openbox") is None or shutil.which("wmctrl") is None:
        print("skipped: missing openbox or wmctrl")
        sys.exit(77)
    sys.exit(main({"window": case_window, "drive": case_drive, "cross": case_cross}))
