#!/usr/bin/env python3
"""The GPS monitor on the real window with a multi-GNSS receiver: kivsim
replays a u-blox capture (GPS, GLONASS, Galileo and BeiDou) and the monitor
lists more than twelve satellites under their systems' names and draws
their marks on the sky plot. Usage: monitor_satellites_gui.py BUILD_DIR
RECEIVERS_DIR. Skipped (77) without Xvfb or without the capture."""
import os
import re
import subprocess
import sys
import threading
import time

from gui_session import SKIP, Failure, Session, _read_line, check, missing_tools

CAPTURE = "ublox-zed-f9p-nmea.bin"
FIX_LAT, FIX_LON, LEVEL = 45.47, -75.62, 2
# The plot's colours of signal strength (weak to strong).
MARK_COLOURS = {0xE02020, 0xF09000, 0xC8C800, 0x10B010}


def replay(s, capture):
    sim = subprocess.Popen([s.kivsim, "--mode", "replay", "--file", capture, "--baud", "115200"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    s.procs.append(sim)
    path = _read_line(sim.stdout, 10)
    check(path.startswith("/dev/"), f"kivsim printed {path!r}")
    threading.Thread(target=lambda: [None for _ in sim.stdout], daemon=True).start()
    return path


def mark_pixels(s, window):
    """Pixels of the plot's mark colours inside the window."""
    rc, out = s.xdo("getwindowgeometry", "--shell", window)
    check(rc == 0, "monitor geometry unreadable")
    g = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
    x, y, w, h = (int(g[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
    shot = s.screenshot()
    return sum(1 for py in range(y, y + h) for px in range(x, x + w) if shot.at(px, py) in MARK_COLOURS)


def run(build, receivers):
    s = Session(build)
    try:
        s.run_fixture("sheets", s.dir, FIX_LAT, FIX_LON, LEVEL)
        s.settings(replay(s, os.path.join(receivers, CAPTURE)), LEVEL)
        s.start_kiv()
        s.wait_painted()
        s.menu("d", "m")
        monitor = s.find_window("^GPS Monitor$")
        # The list as its widgets show it, logged at each change.
        deadline = time.monotonic() + 30
        while True:
            m = s.wait_line(r"^kiv: monitor (\d+) satellites(.*)$", timeout=max(1, deadline - time.monotonic()))
            count, systems = int(m[1]), m[2].split()
            if count > 12 and {"GLONASS", "Galileo", "BeiDou"} <= set(systems):
                break
        deadline = time.monotonic() + 10
        while (marks := mark_pixels(s, monitor)) < 200:
            check(time.monotonic() < deadline, f"only {marks} pixels of satellite marks on the sky plot")
            time.sleep(0.3)
        s.dismiss(monitor, "Return")
        s.key("alt+g")
        s.wait_menu_open()
        s.key("x")
        check(s.wait_exit() == 0, "exit status")
    finally:
        s.close()


def main():
    if missing_tools():
        print("skipped: missing " + ", ".join(missing_tools()))
        return SKIP
    build, receivers = sys.argv[1], sys.argv[2]
    if not os.path.isfile(os.path.join(receivers, CAPTURE)):
        print(f"skipped: no {CAPTURE} in {receivers}")
        return SKIP
    try:
        run(build, receivers)
    except Failure as e:
        print("FAILED: " + str(e))
        return 1
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
