#!/usr/bin/env python3
"""Takes the README's pictures from the running program: docs/level-0.png ..
docs/level-4.png (one per zoom level, small) and docs/moving-map.png.

Kiv runs under Xvfb with a simulated receiver driving along the Ottawa
River and sheets from the local map server on its default data (no
imports); each picture is the program's window (`import -window`) once the
sheet has been stored and painted and the receiver has a fix.

usage: mapserver/readme_pictures.py [BUILD_DIR]   (default: ./build; needs
       the kiv and kivsim targets, Xvfb, xdotool and ImageMagick)
"""
import glob
import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests"))
import gui_session as g  # noqa: E402

DRIVE = "45.4200,-75.7140;45.4270,-75.6990;45.4350,-75.6870"
LEVEL_NAMES = ("1:10M", "1:1M", "1:200k", "1:50k", "1:20k")


def picture(build, server, level, out, width=None, desktop=False):
    """desktop: the window maximised on a 1920 x 1080 screen with openbox,
    else the small window of 480 x 360 sheets."""
    s = g.Session(build, screen=(1920, 1080) if desktop else (1600, 1200))
    try:
        if desktop:
            s.start_window_manager()
        sim = subprocess.Popen([s.kivsim, "--mode", "nmea", "--speed", "40", "--waypoints", DRIVE],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        s.procs.append(sim)
        pty = g._read_line(sim.stdout, 10)
        g.check(pty.startswith("/dev/"), f"kivsim printed {pty!r}")
        os.makedirs(os.path.join(s.dir, "Maps"))
        s.write("kiv_ini.txt", f"Com1={pty}\nServer={server}\nProbe={server}/\nMaps=./Maps\nInit={level}\n"
                               "Hair=1\nDash=km/h\n")
        s.write("kiv_dev.txt", "NMEA\n")
        s.write("kiv_com.txt", "COM1\nSmall\n")
        s.write("kiv_pos.txt", "N 45 25 12\nW 75 42 50\n")
        s.write("kiv_state.txt", "Maximised=1\n" if desktop else "Width=482\nHeight=411\nFollow=0\n")
        s.start_kiv()
        s.wait_painted()
        # The sheet is stored, the receiver has a fix (its time is in the
        # title), and the window has been painted after both.
        # Maximised, the view needs some forty sheets: most of them, or a
        # minute and a half of fetching.
        deadline = time.monotonic() + (90 if desktop else 60)
        while len(glob.glob(os.path.join(s.dir, "Maps", "**", "*.gif"), recursive=True)) < (36 if desktop else 1):
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
        subprocess.run(["convert", "png:-", *resize, "-strip", out], input=shot, check=True, timeout=20)
        # Quit through the menu: Gps > Exit.
        s.menu("g", "x")
        s.wait_exit()
    finally:
        s.close()


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
    missing = g.missing_tools()
    if missing:
        print("needs " + ", ".join(missing))
        return 1
    run = os.path.join(os.environ.get("TMPDIR", "/tmp"), "kiv-readme-mapserver")
    script = os.path.join(ROOT, "mapserver", "kiv-mapserver.sh")
    # The default data only, whatever has been imported.
    env = dict(os.environ, KIV_MAPIMPORTS=os.path.join(run, "no-imports"))
    server = subprocess.run(["bash", script, "start", run], capture_output=True, text=True, env=env,
                            check=True).stdout.strip().splitlines()[-1]
    docs = os.path.join(ROOT, "docs")
    try:
        picture(build, server, 3, os.path.join(docs, "moving-map.png"), width=1280, desktop=True)
        for level, name in enumerate(LEVEL_NAMES):
            picture(build, server, level, os.path.join(docs, f"level-{level}.png"), width=240)
            print(f"docs/level-{level}.png ({name})")
    finally:
        subprocess.run(["bash", script, "stop", run], env=env)
    print("docs/moving-map.png")
    return 0


if __name__ == "__main__":
    sys.exit(main())
