"""The program on a real X server: an Xvfb display, a working folder with
sheets and a simulated receiver, the kiv process with its "kiv: ..." lines,
xdotool input (always under a time-out) and screenshots as RGB pixels."""
import os
import queue
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77
XDO_TIMEOUT = "5"
# The map pane's top-left corner in the client area at scale 1, as the
# window places it (APP_PANE_LEFT, APP_PANE_TOP in app/app_state.h).
PANE_X, PANE_Y = 1, 49


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def missing_tools():
    return [t for t in ("Xvfb", "xdotool", "import") if shutil.which(t) is None]


def start_xvfb(width=1600, height=1200):
    """Xvfb on the first free display it finds itself; (process, ":N")."""
    read_fd, write_fd = os.pipe()
    proc = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{width}x{height}x24", "-nolisten", "tcp"],
        pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    number = b""
    deadline = time.monotonic() + 15
    while time.monotonic() < deadline and not number.endswith(b"\n"):
        chunk = os.read(read_fd, 16) if _readable(read_fd, deadline) else b""
        if not chunk:
            break
        number += chunk
    os.close(read_fd)
    if not number.strip().isdigit():
        proc.kill()
        proc.wait()
        raise Failure("Xvfb did not report a display")
    return proc, ":" + number.strip().decode()


def _readable(fd, deadline):
    import select
    r, _, _ = select.select([fd], [], [], max(0.0, deadline - time.monotonic()))
    return bool(r)


class Session:
    def __init__(self, build_dir, scale=None, screen=(1600, 1200)):
        self.build = build_dir
        self.kiv_path = os.path.join(build_dir, "ui", "wx", "kiv")
        self.fixture = os.path.join(build_dir, "tests", "kiv_gui_fixture")
        self.kivsim = os.path.join(build_dir, "tools", "kivsim", "kivsim")
        self.dir = tempfile.mkdtemp(prefix="kiv_gui_")
        self.procs = []
        self.xvfb, self.display = start_xvfb(*screen)
        self.procs.append(self.xvfb)
        self.env = dict(os.environ, DISPLAY=self.display, GDK_BACKEND="x11", NO_AT_BRIDGE="1",
                        GSETTINGS_BACKEND="memory", KIV_PAINT_LOG="1")
        self.env.pop("WAYLAND_DISPLAY", None)
        if scale:
            self.env["GDK_SCALE"] = str(scale)
        self.kiv = None
        self.lines = queue.Queue()
        self.seen = []
        self.stderr_lines = []
        self.window = None
        self.client = None       # x, y, w, h in the toolkit's pixels, scale

    # -- working folder -------------------------------------------------------
    def run_fixture(self, *args):
        out = subprocess.run([self.fixture, *map(str, args)], capture_output=True, text=True, timeout=30)
        check(out.returncode == 0, f"fixture {args}: {out.stderr}")
        return out.stdout.strip()

    def write(self, name, text):
        with open(os.path.join(self.dir, name), "w") as f:
            f.write(text)

    def read(self, name):
        try:
            with open(os.path.join(self.dir, name)) as f:
                return f.read()
        except FileNotFoundError:
            return None

    def wait_file(self, name, text, timeout=10):
        """Until the program has written the file with this text: a closed
        dialog does not mean its command has finished."""
        deadline = time.monotonic() + timeout
        while self.read(name) != text:
            check(time.monotonic() < deadline, f"{name} is {self.read(name)!r}, not {text!r}")
            time.sleep(0.05)

    def start_receiver(self, lat, lon, speed=0, route=()):
        """kivsim at (lat, lon), standing or driving on through the route's
        (lat, lon) points at speed km/h; returns its pseudo-terminal."""
        points = ";".join(f"{a},{b}" for a, b in [(lat, lon), *route])
        sim = subprocess.Popen([self.kivsim, "--mode", "nmea", "--speed", str(speed), "--waypoints", points],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.procs.append(sim)
        path = _read_line(sim.stdout, 10)
        check(path.startswith("/dev/"), f"kivsim printed {path!r}")
        # Keep draining what it prints so it never blocks on a full pipe.
        threading.Thread(target=lambda: [None for _ in sim.stdout], daemon=True).start()
        return path

    def settings(self, port, level, device="NMEA", size="Small"):
        # Nothing leaves the machine: probe and map server on a closed port.
        self.write("kiv_ini.txt", f"Com1={port}\nProbe=http://127.0.0.1:1/\nServer=http://127.0.0.1:1/\n"
                                  f"Init={level}\n")
        self.write("kiv_dev.txt", device + "\n")
        self.write("kiv_com.txt", f"COM1\n{size}\n")
        self.write("kiv_pos.txt", "N 45 25 00\nW 75 42 00\n")
        # The window as these tests measure it: a 480 x 360 pane, the view
        # centred on the vehicle.
        self.write("kiv_state.txt", "Width=482\nHeight=411\nFollow=0\n")

    # -- the program ----------------------------------------------------------
    def start_kiv(self):
        # Each run has its own queue: the pump of a run that has ended may
        # still be putting its end mark, which must not end the next run.
        self.lines = queue.Queue()
        self.kiv = subprocess.Popen([self.kiv_path], cwd=self.dir, env=self.env, stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE, text=True)
        self.procs.append(self.kiv)
        threading.Thread(target=self._pump, args=(self.kiv.stdout, self.lines), daemon=True).start()
        self.stderr_lines = []
        threading.Thread(target=lambda err, kept: [kept.append(l) for l in err],
                         args=(self.kiv.stderr, self.stderr_lines), daemon=True).start()

    @staticmethod
    def _pump(stream, lines):
        for line in stream:
            lines.put(line.rstrip("\n"))
        lines.put(None)

    def wait_line(self, pattern, timeout=60):
        """The next output line matching the regular expression."""
        deadline = time.monotonic() + timeout
        rx = re.compile(pattern)
        while True:
            left = deadline - time.monotonic()
            check(left > 0, f"no line matching {pattern!r} within {timeout} s")
            try:
                line = self.lines.get(timeout=left)
            except queue.Empty:
                continue
            check(line is not None, f"kiv ended before printing {pattern!r}")
            self.seen.append(line)
            m = rx.search(line)
            if m:
                return m

    def wait_painted(self):
        m = self.wait_line(r"^kiv: client (-?\d+) (-?\d+) (\d+) (\d+) scale ([\d.]+)$")
        self.client = (int(m[1]), int(m[2]), int(m[3]), int(m[4]), float(m[5]))
        self.wait_line(r"^kiv: painted$")
        self.window = self.find_window(r"^(KIV - |GPS for )")

    def wait_exit(self, timeout=15):
        try:
            return self.kiv.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("kiv did not end")

    # -- X --------------------------------------------------------------------
    def xdo(self, *args, timeout=XDO_TIMEOUT):
        out = subprocess.run(["timeout", timeout, "xdotool", *map(str, args)], env=self.env,
                             capture_output=True, text=True)
        return out.returncode, out.stdout.strip()

    def find_window(self, name, timeout=10):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            rc, out = self.xdo("search", "--onlyvisible", "--name", name)
            if rc == 0 and out:
                return out.split()[0]
            time.sleep(0.1)
        shown = [self.xdo("getwindowname", w)[1] for w in self.visible_windows()] if self.kiv else []
        ended = self.kiv.poll() if self.kiv else None
        raise Failure(f"no visible window named {name!r}; the program shows {shown}" +
                      (f", ended with {ended}" if ended is not None else ""))

    def wait_gone(self, name, timeout=10):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            rc, out = self.xdo("search", "--onlyvisible", "--name", name)
            if not out:
                return
            time.sleep(0.1)
        raise Failure(f"window {name!r} still there")

    def answer(self, window, *keys):
        """Keys to one of the program's dialogs."""
        self.xdo("windowfocus", "--sync", window)
        rc, _ = self.xdo("key", *keys)
        check(rc == 0, f"xdotool key {keys} failed")

    def dismiss(self, window, key, timeout=15):
        """A key to a dialog until the dialog is gone: a key that arrives
        before the dialog has taken the focus is lost."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            self.answer(window, key)
            settle = time.monotonic() + 2
            while time.monotonic() < settle:
                if window not in self.visible_windows():
                    return
                time.sleep(0.1)
        raise Failure(f"dialog {window} still open after {key}")

    def menu(self, popup_key, item_key):
        """Alt+popup_key opens a menu, item_key picks the item."""
        self.key("alt+" + popup_key)
        self.wait_menu_open()
        self.key(item_key)

    def title(self):
        rc, out = self.xdo("getwindowname", self.window)
        check(rc == 0, "window name unreadable")
        return out

    def wait_title(self, predicate, what, timeout=15):
        deadline = time.monotonic() + timeout
        t = ""
        while time.monotonic() < deadline:
            t = self.title()
            if predicate(t):
                return t
            time.sleep(0.1)
        raise Failure(f"title never {what}; last {t!r}")

    def visible_windows(self):
        rc, out = self.xdo("search", "--onlyvisible", "--pid", self.kiv.pid)
        return out.split() if rc == 0 else []

    def wait_menu_open(self, timeout=10):
        """A popup of the program's own beside its main window."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if len(self.visible_windows()) > 1:
                return
            time.sleep(0.05)
        raise Failure("the menu did not open")

    def start_window_manager(self, timeout=60):
        """openbox on the display, once it says it manages the screen."""
        wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
        self.procs.append(wm)
        deadline = time.monotonic() + timeout
        while subprocess.run(["timeout", "5", "wmctrl", "-m"], env=self.env, capture_output=True).returncode != 0:
            check(time.monotonic() < deadline and wm.poll() is None, "openbox did not start")
            time.sleep(0.05)

    def key(self, *keys):
        self.xdo("windowfocus", "--sync", self.window)
        rc, _ = self.xdo("key", *keys)
        check(rc == 0, f"xdotool key {keys} failed")

    def click(self, cx, cy, button=1):
        """Click at client point (cx, cy)."""
        x, y, _, _, _ = self.client
        rc, _ = self.xdo("mousemove", x + cx, y + cy, "click", button)
        check(rc == 0, "xdotool click failed")

    def screenshot(self, save=None):
        out = subprocess.run(["timeout", "20", "import", "-window", "root", "-depth", "8", "ppm:-"], env=self.env,
                             capture_output=True)
        check(out.returncode == 0, "screenshot failed")
        if save:
            subprocess.run(["convert", "ppm:-", save], input=out.stdout, check=True, timeout=20)
        return Picture(out.stdout)

    def client_pixel(self, shot, cx, cy, dx=0, dy=0):
        """Colour at client point (cx, cy), plus device offset (dx, dy)."""
        x, y, _, _, s = self.client
        return shot.at(round((x + cx) * s) + dx, round((y + cy) * s) + dy)

    def close(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.send_signal(signal.SIGTERM)
                try:
                    p.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        if os.environ.get("KIV_TEST_STDERR"):
            open(os.environ["KIV_TEST_STDERR"], "w").write("".join(self.stderr_lines))
        shutil.rmtree(self.dir, ignore_errors=True)


class Picture:
    """A binary PPM (P6) as rows of RGB bytes."""

    def __init__(self, data):
        fields = []
        pos = 0
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b"#":
                pos = data.index(b"\n", pos)
                continue
            start = pos
            while not data[pos:pos + 1].isspace():
                pos += 1
            fields.append(data[start:pos])
        check(fields[0] == b"P6" and fields[3] == b"255", "screenshot is not an 8-bit PPM")
        self.width, self.height = int(fields[1]), int(fields[2])
        self.pixels = data[pos + 1:]

    def at(self, x, y):
        if not (0 <= x < self.width and 0 <= y < self.height):
            return None
        i = (y * self.width + x) * 3
        p = self.pixels
        return (p[i] << 16) | (p[i + 1] << 8) | p[i + 2]


def _read_line(stream, timeout):
    result = []
    t = threading.Thread(target=lambda: result.append(stream.readline()), daemon=True)
    t.start()
    t.join(timeout)
    return result[0].strip() if result else ""


def main(cases):
    """Runs the named case from the command line: gui_test.py BUILD_DIR CASE."""
    if missing_tools():
        print("skipped: missing " + ", ".join(missing_tools()))
        return SKIP
    if len(sys.argv) < 3 or sys.argv[2] not in cases:
        print("usage: gui_test.py BUILD_DIR CASE [--save-screenshot PNG]; cases: " + ", ".join(cases))
        return 2
    save = sys.argv[4] if len(sys.argv) > 4 and sys.argv[3] == "--save-screenshot" else None
    try:
        cases[sys.argv[2]](sys.argv[1], save)
    except Failure as e:
        print("FAILED: " + str(e))
        return 1
    print("passed")
    return 0
