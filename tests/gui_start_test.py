#!/usr/bin/env python3
"""kiv started 20 times as a launcher or a script starts it: each time on a
fresh Xvfb taken with -displayfd and at once, standard input from /dev/null,
the local map server up and kivsim driving at 400 km/h on the pseudo-terminal
Com1= names, while a window search runs with xdotool. Every start must open
the window. The searches are short-lived clients: each one that ends leaves
the display without clients, and the server resets under a connection that
arrives then. With "dropped", one start on a display that closes the first
connection. Usage: gui_start_test.py BUILD_DIR [dropped]."""
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

from gui_session import SKIP, XDO_TIMEOUT, start_xvfb

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
STARTS = 20
SEARCH_EVERY = 0.5


def search_until_window(env, kiv, deadline):
    """The window's id, searched for every half second, or None."""
    while time.monotonic() < deadline and kiv.poll() is None:
        out = subprocess.run(["timeout", XDO_TIMEOUT, "xdotool", "search", "--onlyvisible", "--pid", str(kiv.pid)],
                             env=env, capture_output=True, text=True)
        if out.stdout.split():
            return out.stdout.split()[0]
        time.sleep(SEARCH_EVERY)
    return None


def start_once(build, work, env):
    """kiv started with standard input from /dev/null, its window awaited,
    then Gps > Exit as a person would; what went wrong, or None."""
    kiv = subprocess.Popen([os.path.join(build, "ui", "wx", "kiv")], cwd=work, env=env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    xdo = lambda *a: subprocess.run(["timeout", XDO_TIMEOUT, "xdotool", *a], env=env, capture_output=True, text=True)
    window = search_until_window(env, kiv, time.monotonic() + 30)
    if window is not None:
        xdo("windowfocus", "--sync", window)
        xdo("key", "alt+g")
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and len(xdo("search", "--onlyvisible", "--pid", str(kiv.pid)).stdout.split()) < 2:
            time.sleep(0.05)
        xdo("key", "x")
    try:
        rc = kiv.wait(timeout=15)
    except subprocess.TimeoutExpired:
        kiv.kill()
        rc = kiv.wait()
    if window is None:
        return f"no window, status {rc}: {kiv.stderr.read().strip()[:200]}"
    return None if rc == 0 else f"window shown, then exit status {rc}"


class DroppingDisplay:
    """A display number of its own in front of a real one, that closes the
    program's first connection as soon as it is made, as a server resetting under it
    does, and relays the later ones. Taken as X servers take a number: its
    lock file made exclusively."""

    def __init__(self, real):
        self.real = "/tmp/.X11-unix/X" + real.lstrip(":")
        for n in range(500, 600):
            try:
                os.close(os.open(f"/tmp/.X{n}-lock", os.O_CREAT | os.O_EXCL | os.O_WRONLY))
            except FileExistsError:
                continue
            self.number, self.path = n, f"/tmp/.X11-unix/X{n}"
            break
        if os.path.exists(self.path):
            os.unlink(self.path)
        self.listener = socket.socket(socket.AF_UNIX)
        self.listener.bind(self.path)
        self.listener.listen(8)
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        first = True
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            pid = struct.unpack("3i", client.getsockopt(socket.SOL_SOCKET, socket.SO_PEERCRED, 12))[0]
            if first and _command(pid) == "kiv":
                first = False
                client.close()
                continue
            server = socket.socket(socket.AF_UNIX)
            server.connect(self.real)
            for a, b in ((client, server), (server, client)):
                threading.Thread(target=self._pump, args=(a, b), daemon=True).start()

    @staticmethod
    def _pump(a, b):
        try:
            while data := a.recv(65536):
                b.sendall(data)
        except OSError:
            pass
        for s in (a, b):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def close(self):
        self.listener.close()
        os.unlink(self.path)
        os.unlink(f"/tmp/.X{self.number}-lock")


def _command(pid):
    try:
        with open(f"/proc/{pid}/comm") as f:
            return f.read().strip()
    except OSError:
        return ""


def dropped():
    """The display drops the program's first connection: it must connect
    again and open its window."""
    xvfb, real = start_xvfb(1024, 768)
    proxy = DroppingDisplay(real)
    work = tempfile.mkdtemp(prefix="kiv_start_")
    try:
        env = dict(os.environ, DISPLAY=f":{proxy.number}", GDK_BACKEND="x11", NO_AT_BRIDGE="1")
        failure = start_once(sys.argv[1], work, env)
        print("FAILED: " + failure if failure else "passed")
        return 1 if failure else 0
    finally:
        proxy.close()
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(work, ignore_errors=True)


def main():
    if len(sys.argv) > 2 and sys.argv[2] == "dropped":
        return SKIP if shutil.which("Xvfb") is None or shutil.which("xdotool") is None else dropped()
    missing = [t for t in ("Xvfb", "xdotool", "mapserv", "lighttpd", "gmt") if shutil.which(t) is None]
    if missing:
        print("skipped: missing " + ", ".join(missing))
        return SKIP
    build = sys.argv[1]
    work = tempfile.mkdtemp(prefix="kiv_start_")
    procs = []
    server = os.path.join(ROOT, "mapserver", "kiv-mapserver.sh")
    try:
        r = subprocess.run(["bash", server, "start", os.path.join(work, "mapserver")], capture_output=True,
                           text=True, timeout=600)
        if r.returncode != 0:
            print("FAILED: the map server did not start: " + r.stderr[-500:])
            return 1
        sim = subprocess.Popen([os.path.join(build, "tools", "kivsim", "kivsim"), "--mode", "nmea", "--speed", "400",
                                "--route", os.path.join(ROOT, "tools", "kivsim", "routes", "ottawa-river.txt")],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        procs.append(sim)
        port = sim.stdout.readline().strip()
        threading.Thread(target=lambda: [None for _ in sim.stdout], daemon=True).start()
        with open(os.path.join(work, "kiv_ini.txt"), "w") as f:
            f.write(f"Com1={port}\nServer={r.stdout.strip()}\nMaps=./Maps\nInit=3\n")
        with open(os.path.join(work, "kiv_com.txt"), "w") as f:
            f.write("COM1\nSmall\n")
        failures = []
        for n in range(1, STARTS + 1):
            xvfb, display = start_xvfb(1920, 1080)
            env = dict(os.environ, DISPLAY=display)
            failure = start_once(build, work, env)
            if failure:
                failures.append(f"start {n}: {failure}")
            xvfb.terminate()
            xvfb.wait()
        print(f"{STARTS - len(failures)} windows in {STARTS} starts")
        if failures:
            print("FAILED:\n  " + "\n  ".join(failures))
            return 1
        print("passed")
        return 0
    finally:
        for p in procs:
            p.terminate()
            p.wait()
        subprocess.run(["bash", server, "stop", os.path.join(work, "mapserver")], capture_output=True, timeout=60)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
