#!/usr/bin/env python3
"""The field drive: the real kiv under Xvfb follows a simulated receiver around
the Ottawa River loop at high speed, fetching sheets from the local map
server, while faults are injected on a schedule:

  - the receiver unplugged and plugged back (kivsim ended and started again
    behind the same device path, the link Com1= names);
  - the map server stopped and restarted, and replaced for a while by one
    that stalls, one that drips its reply a byte at a time, and one that
    answers garbage;
  - the file system of the maps folder full, then freed (a tmpfs of its own
    in a private mount namespace when run as root; otherwise writes under
    it fail through a preloaded shim);
  - kill -9 of kiv mid-drive and a restart in the same folder.

It checks and prints as a table: no crash, no sanitizer report (sanitizer
build), the window kept painting, the fix resumed after each replug, every
stored sheet decodes and carries its extent record, no partial files or
temporaries, settings files, track log and GPX files whole after the kill,
and anonymous memory, descriptors and threads flat.

  field_drive.py BUILD_DIR [--minutes N] [--keep DIR] [--report FILE.json]

Exit status: 0 passed, 1 a check failed, 77 a tool is missing.
"""
import argparse
import glob
import json
import math
import os
import random
import re
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
ROUTE = os.path.join(ROOT, "tools", "kivsim", "routes", "ottawa-river.txt")
SPEED_KMH = 2500
CYCLE_S = 150            # one round of every injection
PAINT_STALL_MS = 5000    # longest time the window may go without a paint
PAINT_STALL_SANITIZE_MS = 8000
RESUME_LIMIT_S = 10      # the fix must be back this soon after a replug


def now():
    return time.monotonic()


def log(text):
    print(f"[{time.strftime('%H:%M:%S')}] {text}", flush=True)


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


# -- the route ------------------------------------------------------------------
def read_route():
    points = []
    with open(ROUTE) as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 2:
                points.append((float(parts[0]), float(parts[1])))
    return points


def distance(a, b):
    r, k = 6371000.0, math.pi / 180
    dlat, dlon = (b[0] - a[0]) * k, (b[1] - a[1]) * k
    h = math.sin(dlat / 2) ** 2 + math.cos(a[0] * k) * math.cos(b[0] * k) * math.sin(dlon / 2) ** 2
    return 2 * r * math.atan2(math.sqrt(h), math.sqrt(1 - h))


def route_from(points, metres):
    """The closed route started `metres` further along it, so that a receiver
    plugged back in carries on where the last one stopped."""
    along = [0.0]
    for a, b in zip(points, points[1:]):
        along.append(along[-1] + distance(a, b))
    d = metres % along[-1]
    i = 1
    while i + 1 < len(along) and along[i] < d:
        i += 1
    seg = along[i] - along[i - 1]
    k = (d - along[i - 1]) / seg if seg > 0 else 1
    a, b = points[i - 1], points[i]
    here = (a[0] + k * (b[0] - a[0]), a[1] + k * (b[1] - a[1]))
    # Closed loop: the last point repeats the first.
    return [here] + points[i:] + points[1:i] + [here]


# -- stand-ins for a misbehaving map server ----------------------------------------
class BadServer:
    """Listens on the map server's port: 'stall' reads the request and never
    answers, 'drip' sends a reply one byte every half second, 'garbage'
    answers random bytes or a broken reply and closes."""

    def __init__(self, port, mode):
        self.mode = mode
        self.stop = threading.Event()
        self.sock = socket.socket()
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        deadline = now() + 10
        while True:
            try:
                self.sock.bind(("127.0.0.1", port))
                break
            except OSError:
                if now() > deadline:
                    raise
                time.sleep(0.1)
        self.sock.listen(16)
        self.sock.settimeout(0.2)
        self.connections = 0
        self.rng = random.Random(port)
        self.acceptor = threading.Thread(target=self._accept, daemon=True)
        self.acceptor.start()

    def _accept(self):
        while not self.stop.is_set():
            try:
                c, _ = self.sock.accept()
            except (socket.timeout, OSError):
                continue
            self.connections += 1
            threading.Thread(target=self._serve, args=(c,), daemon=True).start()

    def _serve(self, c):
        try:
            c.settimeout(1)
            try:
                c.recv(16384)
            except OSError:
                pass
            if self.mode == "stall":
                self.stop.wait()
            elif self.mode == "drip":
                reply = (b"HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><body><table>"
                         b"<tr><td>mapext</td><td>0 0 1 1</td></tr>" + b" " * 4096)
                for byte in reply:
                    if self.stop.wait(0.5):
                        break
                    c.sendall(bytes([byte]))
            else:
                kind = self.rng.randrange(4)
                if kind == 0:
                    c.sendall(bytes(self.rng.randrange(256) for _ in range(self.rng.randrange(1, 3000))))
                elif kind == 1:
                    c.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n<html><tr><td>image</td><td>")
                elif kind == 2:
                    c.sendall(b"HTTP/1.0 200 OK\r\n\r\n<tr><td>mapext</td><td>1e308 -1e308 nan 7</td></tr>"
                              b"<tr><td>image</td><td>/tmp/../../x.gif</td></tr>")
                else:
                    c.sendall(b"HTTP/1.0 200 OK\r\n\r\nGIF89a" +
                              bytes(self.rng.randrange(256) for _ in range(2000)))
        except OSError:
            pass
        finally:
            c.close()

    def close(self):
        # The port is free only once no thread waits on the listening
        # socket any more.
        self.stop.set()
        self.acceptor.join()
        self.sock.close()


# -- the drive ----------------------------------------------------------------------
class Drive:
    def __init__(self, args):
        self.args = args
        self.build = os.path.abspath(args.build)
        self.kiv_path = os.path.join(self.build, "ui", "wx", "kiv")
        self.kivsim_path = os.path.join(self.build, "tools", "kivsim", "kivsim")
        self.kivsheet_path = os.path.join(self.build, "tools", "kivsheet", "kivsheet")
        self.sanitize = self._sanitizer_build()
        self.stall_ms = PAINT_STALL_SANITIZE_MS if self.sanitize else PAINT_STALL_MS
        self.dir = args.keep or tempfile.mkdtemp(prefix="kiv_drive_")
        os.makedirs(self.dir, exist_ok=True)
        self.fs = os.path.join(self.dir, "fs")
        self.maps = os.path.join(self.fs, "Maps")
        self.san_dir = os.path.join(self.dir, "sanitizer")
        self.failures = []
        self.events = []             # (time, what)
        self.counts = {}
        self.paints = []             # monotonic times of paints
        self.quiet = []              # (from, to): no paint expected (receiver out, restart)
        self.resumes = []            # seconds from replug to the next fix
        self.exits = []              # exit status of every kiv process that ended
        self.samples = []            # (pid, time, rss_anon_kb, fds, threads)
        self.file_checks = []        # texts of what was found broken after a kill
        self.boxes = []
        self.titles = []             # (time, title)
        self.phases = []             # (time, what is being injected from then on)
        self.lock = threading.Lock()
        self.procs = []
        self.kiv = None
        self.sim = None
        self.spy = None
        self.window = None
        self.server_up = False
        self.disk = None             # "tmpfs" when the maps folder has a file system of its own
        self.sim_started = 0.0
        self.route_metres = 0.0
        self.shift = 0.0             # degrees north the loop is moved this round
        self.points = read_route()

    def _sanitizer_build(self):
        try:
            with open(os.path.join(self.build, "CMakeCache.txt")) as f:
                return re.search(r"^KIV_SANITIZE:BOOL=ON$", f.read(), re.M) is not None
        except OSError:
            return False

    def fail(self, text):
        log("FAIL: " + text)
        self.failures.append(text)

    def count(self, what):
        self.counts[what] = self.counts.get(what, 0) + 1
        self.events.append((now(), what))

    # X and environment
    def start_xvfb(self):
        r, w = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        self.procs.append(xvfb)
        number = b""
        deadline = now() + 15
        import select
        while now() < deadline and not number.endswith(b"\n"):
            ready, _, _ = select.select([r], [], [], max(0.0, deadline - now()))
            chunk = os.read(r, 16) if ready else b""
            if not chunk:
                break
            number += chunk
        os.close(r)
        if not number.strip().isdigit():
            raise RuntimeError("Xvfb did not report a display")
        self.display = ":" + number.strip().decode()
        self.env = dict(os.environ, DISPLAY=self.display, GDK_BACKEND="x11", NO_AT_BRIDGE="1",
                        GSETTINGS_BACKEND="memory", KIV_PAINT_LOG="1")
        self.env.pop("WAYLAND_DISPLAY", None)
        if self.sanitize:
            os.makedirs(self.san_dir, exist_ok=True)
            # Leaks of the toolkit at exit are not the program's; memory
            # growth is watched through RssAnon instead.
            self.env["ASAN_OPTIONS"] = f"detect_leaks=0:abort_on_error=1:log_path={self.san_dir}/asan"
            self.env["UBSAN_OPTIONS"] = f"print_stacktrace=1:halt_on_error=1:log_path={self.san_dir}/ubsan"

    def xdo(self, *args):
        out = subprocess.run(["timeout", "5", "xdotool", *map(str, args)], env=self.env,
                             capture_output=True, text=True)
        return out.returncode, out.stdout.strip()

    # the maps folder's own file system
    def prepare_disk(self):
        os.makedirs(self.fs, exist_ok=True)
        if os.geteuid() == 0 and os.environ.get("KIV_DRIVE_NS") == "1" and \
                os.environ.get("KIV_DRIVE_DISK") != "shim":
            r = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=24m", "tmpfs", self.fs],
                               capture_output=True, text=True)
            if r.returncode == 0:
                self.disk = "tmpfs"
        os.makedirs(self.maps, exist_ok=True)
        # Otherwise writes under the maps folder fail through a preloaded
        # shim (not in the sanitizer build, whose own write wins).
        shim = os.path.join(self.build, "tests", "libkiv_full_disk_shim.so")
        if not self.disk and os.path.exists(shim) and not self.sanitize:
            self.disk = "shim"
            self.env.update(LD_PRELOAD=shim, KIV_FULL_DISK_DIR=os.path.realpath(self.maps) + "/",
                            KIV_FULL_DISK_FLAG=os.path.join(self.dir, "disk_full"))
        if not self.disk:
            log("maps folder full: not injected (no tmpfs of its own, no write shim)")

    def fill_disk(self):
        if self.disk == "shim":
            open(self.env["KIV_FULL_DISK_FLAG"], "w").close()
            log("maps folder full (writes fail)")
            return
        filler = os.path.join(self.fs, "filler")
        written = 0
        fd = os.open(filler, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        # Large pieces, then small ones for the last free blocks.
        for chunk in (b"\0" * 65536, b"\0" * 512):
            try:
                while True:
                    written += os.write(fd, chunk)
            except OSError:
                pass
        os.close(fd)
        try:
            st = os.statvfs(self.fs)
            free_kb = st.f_bavail * st.f_frsize // 1024
        except OSError:
            free_kb = -1
        log(f"maps folder full ({written // 1024} KiB filler, {free_kb} KiB left)")

    def free_disk(self):
        try:
            os.unlink(self.env["KIV_FULL_DISK_FLAG"] if self.disk == "shim" else os.path.join(self.fs, "filler"))
        except FileNotFoundError:
            pass

    # the map server
    def start_server(self):
        # A port just let go of may still be held for a moment.
        for attempt in range(3):
            r = subprocess.run(["bash", os.path.join(ROOT, "mapserver", "kiv-mapserver.sh"), "start",
                                os.path.join(self.dir, "mapserver"), str(self.port)],
                               capture_output=True, text=True, timeout=600)
            if r.returncode == 0:
                self.server_up = True
                return
            log(f"the map server did not start (try {attempt + 1}): {r.stderr.strip()[-200:]}")
            time.sleep(1)
        raise RuntimeError("map server did not start: " + r.stderr[-500:] +
                           self._read(os.path.join("mapserver", "error.log"))[-500:])

    def stop_server(self):
        subprocess.run(["bash", os.path.join(ROOT, "mapserver", "kiv-mapserver.sh"), "stop",
                        os.path.join(self.dir, "mapserver")], capture_output=True, timeout=60)
        # Until the old server has let go of the port.
        deadline = now() + 10
        while now() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=0.5).close()
                time.sleep(0.1)
            except OSError:
                break
        self.server_up = False

    # the receiver
    def plug(self):
        route = os.path.join(self.dir, "route.txt")
        with open(route, "w") as f:
            for lat, lon in route_from(self.points, self.route_metres):
                f.write(f"{lat + self.shift:.6f} {lon:.6f}\n")
        sim = subprocess.Popen([self.kivsim_path, "--mode", "nmea", "--route", route, "--speed", str(SPEED_KMH)],
                               stdout=subprocess.PIPE, stderr=open(os.path.join(self.dir, "kivsim.err"), "a"),
                               text=True, env=self.env)
        pty = sim.stdout.readline().strip()
        if not pty.startswith("/dev/"):
            raise RuntimeError(f"kivsim printed {pty!r}")
        threading.Thread(target=lambda: [None for _ in sim.stdout], daemon=True).start()
        # The same path for every plug, as a udev rule gives a receiver.
        link = os.path.join(self.dir, "gps0")
        os.symlink(pty, link + ".new")
        os.replace(link + ".new", link)
        self.sim = sim
        self.sim_started = now()

    def unplug(self):
        self.route_metres += (now() - self.sim_started) * SPEED_KMH / 3.6
        self.sim.kill()
        self.sim.wait()
        self.sim = None

    # the program
    def write_settings(self):
        lat, lon = self.points[0]

        def dms(v, pos, neg):
            a = abs(v)
            d = int(a)
            m = int((a - d) * 60)
            s = min(59, int(round(((a - d) * 60 - m) * 60)))
            return f"{pos if v > 0 else neg} {d:3d} {m:02d} {s:02d}\n"

        files = {
            "kiv_ini.txt": f"Com1={self.dir}/gps0\nServer=http://127.0.0.1:{self.port}\nMaps=./fs/Maps\n"
                           "File=track.txt\nGpx=./gpx\nInit=3\nHair=1\nDash=km/h\n",
            "kiv_com.txt": "COM1\nSmall\n",
            "kiv_dev.txt": "NMEA\n",
            "kiv_pos.txt": dms(lat, "N", "S") + dms(lon, "E", "W"),
            "kiv_state.txt": "Width=482\nHeight=411\nFollow=0\n",
        }
        for name, text in files.items():
            with open(os.path.join(self.dir, name), "w") as f:
                f.write(text)
        os.makedirs(os.path.join(self.dir, "gpx"), exist_ok=True)

    def start_kiv(self):
        self.kiv = subprocess.Popen([self.kiv_path], cwd=self.dir, env=self.env, stdout=subprocess.PIPE,
                                    stderr=open(os.path.join(self.dir, "kiv.err"), "a"), text=True)
        self.window = None
        first = threading.Event()
        threading.Thread(target=self._pump, args=(self.kiv, first), daemon=True).start()
        if not first.wait(120):
            raise RuntimeError("kiv painted no sheet within 120 s")
        deadline = now() + 20
        while now() < deadline and not self.window:
            rc, out = self.xdo("search", "--onlyvisible", "--pid", self.kiv.pid, "--name", "^(KIV - |GPS for )")
            if rc == 0 and out:
                self.window = out.split()[0]
            else:
                time.sleep(0.1)
        if not self.window:
            raise RuntimeError("kiv's window not found")
        self.spy = subprocess.Popen(["xprop", "-id", self.window, "-spy", "_NET_WM_NAME"], env=self.env,
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        threading.Thread(target=self._titles, args=(self.spy,), daemon=True).start()
        self.track_on()

    def gpx_files(self):
        return glob.glob(os.path.join(self.dir, "gpx", "*.gpx"))

    def track_on(self):
        """Options > Track, which records the drive as GPX (one file a run):
        checked when a new file appears."""
        before = set(self.gpx_files())
        deadline = now() + 30
        while now() < deadline:
            self.menu("alt+o", "t")
            t = now() + 10
            while now() < t:
                if set(self.gpx_files()) - before:
                    return
                time.sleep(0.2)
        self.fail("Options > Track started no GPX recording within 30 s")

    def _pump(self, proc, first):
        for line in proc.stdout:
            if line.startswith("kiv: painted"):
                t = now()
                with self.lock:
                    self.paints.append(t)
                first.set()

    def _titles(self, spy):
        for line in spy.stdout:
            m = re.search(r'= "(.*)"$', line.strip())
            if m:
                with self.lock:
                    self.titles.append((now(), m[1]))

    def kill_kiv(self):
        t = now()
        self.kiv.send_signal(signal.SIGKILL)
        self.kiv.wait()
        self.spy.kill()
        self.spy.wait()
        self.check_files("after kill -9")
        self.start_kiv()
        log(f"kiv back {now() - t:.1f} s after kill -9")
        with self.lock:
            first_paint = next((p for p in self.paints if p > t), now())
        self.quiet.append((t, first_paint + 2))

    def menu(self, menu_key, item_key):
        """Opens a menu by its key, waits until it shows and picks an item."""
        self.xdo("windowfocus", "--sync", self.window)
        self.xdo("key", menu_key)
        t = now() + 3
        while now() < t:
            rc, out = self.xdo("search", "--onlyvisible", "--pid", self.kiv.pid)
            if len(out.split()) > 1:
                break
            time.sleep(0.1)
        self.xdo("key", item_key)

    def quit_kiv(self):
        """Gps > Exit, as a person quits."""
        deadline = now() + 30
        while self.kiv.poll() is None and now() < deadline:
            self.menu("alt+g", "x")
            try:
                self.kiv.wait(timeout=5)
            except subprocess.TimeoutExpired:
                pass
        if self.kiv.poll() is None:
            self.fail("kiv did not end through Gps > Exit")
            self.kiv.kill()
        self.exits.append(self.kiv.wait())

    # watching
    def sample(self):
        """Memory, descriptors and threads of the running kiv; an unexpected
        end; a box left open (answered with Return)."""
        proc = self.kiv
        if proc.poll() is not None:
            self.exits.append(proc.returncode)
            self.fail(f"kiv ended by itself mid-drive (status {proc.returncode})")
            self.start_kiv()
            return
        try:
            with open(f"/proc/{proc.pid}/status") as f:
                status = f.read()
            rss = int(re.search(r"^RssAnon:\s+(\d+)", status, re.M)[1])
            threads = int(re.search(r"^Threads:\s+(\d+)", status, re.M)[1])
            fds = len(os.listdir(f"/proc/{proc.pid}/fd"))
            self.samples.append((proc.pid, now(), rss, fds, threads))
        except (OSError, TypeError):
            pass
        rc, out = self.xdo("search", "--onlyvisible", "--pid", proc.pid)
        for w in out.split():
            if w == self.window:
                continue
            _, name = self.xdo("getwindowname", w)
            self.boxes.append(name)
            log(f"a box is open: {name!r}; answering Return")
            self.xdo("windowfocus", "--sync", w)
            self.xdo("key", "Return")

    def wait(self, seconds):
        end = now() + seconds
        while now() < end:
            self.sample()
            time.sleep(min(1.0, max(0.0, end - now())))

    def replug(self, out_for):
        t = now()
        self.unplug()
        self.count("receiver unplugged and replugged")
        self.wait(out_for)
        self.plug()
        plugged = now()
        with self.lock:
            seen = len(self.titles)
            before = self.titles[-1][1] if self.titles else ""
        # A new position with its fix time in the title.
        fix = re.compile(r"^KIV - [NS] \d+.* / [EW] \d+.* - .*\d\d:\d\d")
        resumed = None
        while now() < plugged + RESUME_LIMIT_S and resumed is None:
            with self.lock:
                for when, title in self.titles[seen:]:
                    if title != before and fix.match(title):
                        resumed = when - plugged
                        break
                seen = len(self.titles)
            if resumed is None:
                self.sample()
                time.sleep(0.1)
        if resumed is None:
            self.fail(f"no new fix within {RESUME_LIMIT_S} s of the replug; reconnecting by Shift+Page Up")
            self.xdo("windowfocus", "--sync", self.window)
            self.xdo("key", "shift+Prior")
            self.wait(3)
        else:
            log(f"fix resumed {resumed:.2f} s after the replug")
            self.resumes.append(resumed)
        self.quiet.append((t, plugged + (resumed if resumed is not None else RESUME_LIMIT_S + 3) + 1.5))

    def server_fault(self, mode, seconds):
        self.stop_server()
        self.count(f"map server {mode}")
        if mode == "stopped":
            self.wait(seconds)
        else:
            bad = BadServer(self.port, mode)
            # Gps > Reload Map: at least one request meets the bad server,
            # wherever the drive is on its sheet.
            self.wait(1)
            self.menu("alt+g", "r")
            self.wait(seconds - 1)
            bad.close()
            log(f"{mode} server took {bad.connections} connections")
        t = now()
        self.start_server()
        if now() - t > 5:
            log(f"the map server took {now() - t:.1f} s to start")

    def disk_full(self, seconds):
        if not self.disk:
            return
        self.fill_disk()
        self.count("maps folder full")
        # A reload writes a sheet over a stored one while nothing can be
        # written: the stored one must stay whole.
        self.wait(1)
        self.menu("alt+g", "r")
        self.wait(seconds - 1)
        self.free_disk()

    # checks on files
    def check_files(self, when):
        broken = []
        ini = self._read("kiv_ini.txt")
        for key in ("Com1=", "Server=", "Maps=", "File="):
            if key not in ini:
                broken.append(f"kiv_ini.txt lost {key}")
        if not re.fullmatch(r"COM\d+\n(Small|Big)\n?", self._read("kiv_com.txt")):
            broken.append("kiv_com.txt not whole")
        if not self._read("kiv_dev.txt").strip():
            broken.append("kiv_dev.txt empty")
        if not re.fullmatch(r"([NS] +\d+ \d\d \d\d\n){1}[EW] +\d+ \d\d \d\d\n?", self._read("kiv_pos.txt")):
            broken.append(f"kiv_pos.txt not whole: {self._read('kiv_pos.txt')!r}")
        track = self._read("track.txt")
        line = re.compile(r"-?\d+\.\d+ -?\d+\.\d+ - \d{4}/\d\d/\d\d \d\d:\d\d:\d\d")
        bad_lines = [l for l in track.split("\n")[:-1] if not line.fullmatch(l)]
        if bad_lines or (track and not track.endswith("\n")):
            broken.append(f"track log: {len(bad_lines)} broken lines, ends with line break: {track.endswith(chr(10))}")
        self.track_lines = track.count("\n")
        gpx_files = self.gpx_files()
        self.gpx_count = len(gpx_files)
        for gpx in gpx_files:
            if shutil.which("xmllint"):
                r = subprocess.run(["xmllint", "--noout", gpx], capture_output=True)
                if r.returncode != 0:
                    broken.append(f"{os.path.basename(gpx)} not well-formed")
        for b in broken:
            self.fail(f"{when}: {b}")
        self.file_checks.append((when, broken))

    def _read(self, name):
        try:
            with open(os.path.join(self.dir, name), errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def check_sheets(self):
        sheets = bad = 0
        temporaries = []
        for dirpath, _, files in os.walk(self.maps):
            for name in files:
                path = os.path.join(dirpath, name)
                if name == "source.txt":   # the record of which source made the sheets
                    continue
                if not re.search(r"\.(gif|jpg|png)$", name):
                    temporaries.append(os.path.relpath(path, self.dir))
                    continue
                sheets += 1
                r = subprocess.run([self.kivsheet_path, "info", path], capture_output=True, text=True,
                                   env=self.env, timeout=60)
                if r.returncode != 0 or "extent" not in r.stdout.lower():
                    bad += 1
                    self.fail(f"sheet {os.path.relpath(path, self.dir)} does not decode with its extent: "
                              f"{(r.stdout + r.stderr).strip()[:200]}")
        for name in os.listdir(self.dir):
            if name.startswith("tmp_map") or name == "tcpip.tmp":
                temporaries.append(name)
        for t in temporaries:
            self.fail(f"temporary left: {t}")
        return sheets, bad, temporaries

    def sanitizer_reports(self):
        reports = glob.glob(os.path.join(self.san_dir, "*"))
        err = self._read("kiv.err") + self._read("kivsim.err")
        inline = len(re.findall(r"(ERROR: AddressSanitizer|runtime error:|ERROR: LeakSanitizer)", err))
        for r in reports:
            self.fail(f"sanitizer report {os.path.basename(r)}: {open(r, errors='replace').read()[:300]}")
        if inline and not reports:
            self.fail(f"{inline} sanitizer reports in kiv's error output")
        return len(reports) + (inline if not reports else 0)

    # the whole drive
    def run(self):
        self.port = free_port()
        self.start_xvfb()
        self.prepare_disk()
        log(f"work folder {self.dir}, display {self.display}, map server port {self.port}, "
            f"{'sanitizer' if self.sanitize else 'normal'} build, maps folder on {self.disk or 'the work disk'}")
        self.start_server()
        self.write_settings()
        self.plug()
        self.start_kiv()
        started = now()
        end = started + self.args.minutes * 60
        cycle = 0
        # One round of injections, spread over CYCLE_S seconds (scaled down
        # when the whole drive is shorter than one round).
        scale = min(1.0, self.args.minutes * 60 / CYCLE_S)
        while now() < end - 20 * scale:
            cycle += 1
            # Each round on the loop moved north or south, so that sheets are
            # fetched (and faults met) all through a long drive, not only in
            # the first pass around the loop.
            self.shift = (cycle // 2) * 0.1 * (1 if cycle % 2 == 0 else -1)
            log(f"round {cycle}, loop moved {self.shift:+.2f} degrees north")
            steps = [
                ("replug", lambda: self.replug(5 * scale)),
                ("drive", lambda: self.wait(10 * scale)),
                ("stopped", lambda: self.server_fault("stopped", 12 * scale)),
                ("drive", lambda: self.wait(8 * scale)),
                ("stall", lambda: self.server_fault("stall", 12 * scale)),
                ("drive", lambda: self.wait(8 * scale)),
                ("drip", lambda: self.server_fault("drip", 12 * scale)),
                ("drive", lambda: self.wait(8 * scale)),
                ("garbage", lambda: self.server_fault("garbage", 12 * scale)),
                ("drive", lambda: self.wait(8 * scale)),
                ("disk", lambda: self.disk_full(15 * scale)),
                ("drive", lambda: self.wait(8 * scale)),
            ]
            # Early in the first round, then every fourth round in the first
            # half, so that the last process lives long enough for its
            # memory to be compared.
            if cycle == 1 or (cycle % 4 == 1 and now() < started + (end - started) / 2):
                steps.insert(1, ("kill", lambda: (self.count("kill -9 and restart"), self.kill_kiv())))
            for name, step in steps:
                # The first round always whole: every fault met at least once
                # however slow the start (sanitizer build).
                if cycle > 1 and now() > end - 10 * scale:
                    break
                self.phases.append((now(), name))
                t = now()
                step()
                log(f"{name}: {now() - t:.1f} s")
        self.wait(max(0.0, end - now()))
        with self.lock:
            if self.titles:
                log(f"{len(self.titles)} titles, the last {self.titles[-1][1]!r}")
        self.quit_kiv()
        self.spy.kill()
        if self.sim:
            self.unplug()
        self.stop_server()
        return self.report(started)

    def phase_at(self, t):
        name = "start"
        for when, what in self.phases:
            if when <= t:
                name = what
        return name

    def report(self, started):
        rows = []

        def row(check, ok, figure):
            rows.append((check, "ok" if ok else "FAIL", figure))

        crashes = [s for s in self.exits if s != 0]
        row("no crash", not crashes and self.exits[-1:] == [0],
            f"{len(self.exits)} ends through the menu or kill; statuses {sorted(set(self.exits))}")
        if self.sanitize:
            n = self.sanitizer_reports()
            row("no sanitizer report", n == 0, f"{n} reports (ASan+UBSan)")
        gaps = []
        with self.lock:
            paints = list(self.paints)
        for a, b in zip(paints, paints[1:]):
            if any(q0 <= b and a <= q1 for q0, q1 in self.quiet):
                continue
            gaps.append(b - a)
            if b - a > self.stall_ms / 1000:
                self.fail(f"no paint for {(b - a) * 1000:.0f} ms at {a - started:.0f} s, "
                          f"during: {self.phase_at(a)}")
        longest = max(gaps) * 1000 if gaps else float("inf")
        duration = now() - started
        row("window kept painting", longest <= self.stall_ms,
            f"{len(paints)} paints in {duration:.0f} s, longest gap {longest:.0f} ms (limit {self.stall_ms})")
        replugs = self.counts.get("receiver unplugged and replugged", 0)
        if self.resumes:
            fig = (f"{len(self.resumes)}/{replugs} replugs, median {statistics.median(self.resumes):.1f} s, "
                   f"worst {max(self.resumes):.1f} s")
        else:
            fig = f"0/{replugs} replugs"
        row("fix resumed after replug", len(self.resumes) == replugs and replugs > 0, fig)
        sheets, bad, temps = self.check_sheets()
        row("sheets whole", sheets > 0 and bad == 0 and not temps,
            f"{sheets} sheets decode with extent, {bad} bad, {len(temps)} partial/temporary")
        self.check_files("at the end")
        broken = sum(len(b) for _, b in self.file_checks)
        row("files whole after kill -9", broken == 0,
            f"settings files, track log ({self.track_lines} points) and {self.gpx_count} GPX files "
            f"checked {len(self.file_checks)} times")
        last_pid = self.samples[-1][0] if self.samples else None
        mine = [s for s in self.samples if s[0] == last_pid]
        mine = [s for s in mine if s[1] > mine[0][1] + 15] if mine else []   # past start-up
        if len(mine) >= 10:
            k = max(2, len(mine) // 5)
            first, last = mine[:k], mine[-k:]

            def med(part, i):
                return statistics.median(s[i] for s in part)
            rss0, rss1 = med(first, 2), med(last, 2)
            fd0, fd1 = med(first, 3), med(last, 3)
            th0, th1 = med(first, 4), med(last, 4)
            # ASan's quarantine holds freed blocks up to its cap: only the
            # normal build's figure says anything about the program.
            rss_ok = self.sanitize or rss1 <= rss0 * 1.25 + 8192
            row("anonymous memory flat", rss_ok,
                f"RssAnon {rss0 / 1024:.1f} MiB -> {rss1 / 1024:.1f} MiB over {mine[-1][1] - mine[0][1]:.0f} s")
            row("descriptors flat", fd1 <= fd0 + 2, f"{fd0:.0f} -> {fd1:.0f}")
            row("threads flat", th1 <= th0 + 1, f"{th0:.0f} -> {th1:.0f}")
            if not rss_ok:
                self.fail("anonymous memory grew")
            if fd1 > fd0 + 2:
                self.fail("open descriptors grew")
            if th1 > th0 + 1:
                self.fail("threads grew")
            self.memory = (rss0, rss1)
        else:
            row("memory, descriptors, threads", False, f"only {len(mine)} samples")
        row("boxes raised", True, f"{len(self.boxes)}: {sorted(set(self.boxes))}" if self.boxes else "none")

        print()
        print(f"Field drive, {duration / 60:.1f} min at {SPEED_KMH} km/h, "
              f"{'sanitizer' if self.sanitize else 'normal'} build")
        print(f"{'injected':45} {'times':>5}")
        for what, n in sorted(self.counts.items()):
            print(f"{what:45} {n:>5}")
        if not self.disk:
            print(f"{'maps folder full':45} not injected")
        print()
        w = max(len(r[0]) for r in rows)
        for check, result, figure in rows:
            print(f"{check:{w}}  {result:4}  {figure}")
        if self.args.report:
            with open(self.args.report, "w") as f:
                json.dump({"minutes": duration / 60, "counts": self.counts, "resumes": self.resumes,
                           "longest_paint_gap_ms": longest, "paints": len(paints), "sheets": sheets,
                           "bad_sheets": bad, "temporaries": temps, "rows": rows,
                           "failures": self.failures, "memory_kb": getattr(self, "memory", None),
                           "sanitize": self.sanitize}, f, indent=1)
        return 0 if not self.failures else 1

    def close(self):
        for p in [self.spy, self.kiv, self.sim] + self.procs[::-1]:
            if p and p.poll() is None:
                p.kill()
                p.wait()
        if self.server_up:
            self.stop_server()
        if self.disk == "tmpfs":
            subprocess.run(["umount", "-l", self.fs], capture_output=True)
        if not self.args.keep:
            shutil.rmtree(self.dir, ignore_errors=True)


def main():
    p = argparse.ArgumentParser(description="The fault-injected field drive of kiv.")
    p.add_argument("build")
    p.add_argument("--minutes", type=float, default=2.5)
    p.add_argument("--keep", help="work folder to use and keep")
    p.add_argument("--report", help="write the figures as JSON here")
    args = p.parse_args()
    missing = [t for t in ("Xvfb", "xdotool", "xprop", "mapserv", "lighttpd", "gmt") if not shutil.which(t)]
    if missing:
        print("skipped: missing " + ", ".join(missing))
        return SKIP
    for tool in ("ui/wx/kiv", "tools/kivsim/kivsim", "tools/kivsheet/kivsheet"):
        if not os.access(os.path.join(args.build, tool), os.X_OK):
            print(f"skipped: {tool} was not built")
            return SKIP
    # As root, a private mount namespace: the maps folder gets a small file
    # system of its own that vanishes with the drive, whatever ends it.
    if os.geteuid() == 0 and os.environ.get("KIV_DRIVE_NS") != "1" and shutil.which("unshare"):
        env = dict(os.environ, KIV_DRIVE_NS="1")
        probe = subprocess.run(["unshare", "-m", "--propagation", "private", "true"], capture_output=True)
        if probe.returncode == 0:
            os.execvpe("unshare", ["unshare", "-m", "--propagation", "private", sys.executable,
                                   os.path.abspath(__file__), *sys.argv[1:]], env)
    drive = Drive(args)
    try:
        return drive.run()
    except RuntimeError as e:
        print("FAILED: " + str(e))
        return 1
    finally:
        drive.close()


if __name__ == "__main__":
    sys.exit(main())
