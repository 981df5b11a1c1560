#!/usr/bin/env python3
"""kiv on its real window while the map server stalls: the start sheet is
asked of a server that takes the request and says nothing for 20 s. The
window must keep painting (the receiver moves the marker every second on
the neutral picture), the title must say what is fetched, the menu must
open, and Exit must end the program at once. Usage: gui_stall_test.py
BUILD_DIR stall|area."""
import socket
import sys
import threading
import time

from gui_session import Session, check, main
from gui_test import FIX_LAT, FIX_LON, FIX_TITLE, LEVEL, exit_through_menu

STALL_S = 20
# Paints come with every fix (one a second); a gap this long means the
# window was held.
LONGEST_GAP_S = 3.0


class StallServer:
    """Accepts, reads the request and never answers until closed."""

    def __init__(self):
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(8)
        self.port = self.sock.getsockname()[1]
        self.requests = threading.Event()
        self.held = []
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                c, _ = self.sock.accept()
            except OSError:
                return
            self.held.append(c)
            try:
                c.settimeout(5)
                if c.recv(4096).startswith(b"GET /cgi-bin/"):
                    self.requests.set()
            except OSError:
                pass

    def close(self):
        self.sock.close()
        for c in self.held:
            c.close()


def case_stall(build, save):
    server = StallServer()
    s = Session(build)
    try:
        port = s.start_receiver(FIX_LAT, FIX_LON)
        s.settings(port, LEVEL)
        # No sheet stored: the start sheet comes from the stalled server.
        s.write("kiv_ini.txt", f"Com1={port}\nProbe=http://127.0.0.1:1/\n"
                               f"Server=http://127.0.0.1:{server.port}/\nInit={LEVEL}\n")
        s.start_kiv()
        s.wait_painted()
        check(server.requests.wait(20), "the start sheet was never asked for")
        # The receiver's fixes reach the title while the sheet is on its way.
        s.wait_title(lambda t: t.startswith(FIX_TITLE) and "fetching mac_z" in t,
                     "the fix and the sheet being fetched", timeout=30)

        paints = []
        end = time.monotonic() + STALL_S
        while time.monotonic() < end:
            try:
                line = s.lines.get(timeout=max(0.01, end - time.monotonic()))
            except Exception:
                continue
            check(line is not None, "kiv ended while the server stalled")
            s.seen.append(line)
            if line.startswith("kiv: painted"):
                paints.append(time.monotonic())
        gaps = [b - a for a, b in zip(paints, paints[1:])]
        check(len(paints) >= STALL_S / 2, f"{len(paints)} paints in {STALL_S} s of stall; last lines {s.seen[-8:]}")
        check(max(gaps) <= LONGEST_GAP_S, f"no paint for {max(gaps):.1f} s while the server stalled")
        print(f"{len(paints)} paints in {STALL_S} s, longest gap {max(gaps):.2f} s")

        # The menu opens and Exit ends the program with the transfer in flight.
        exit_through_menu(s)
    finally:
        s.close()
        server.close()


def case_area(build, save):
    """Gps > Download Area... on the real window: the levels dialog, then the
    progress dialog, which closes itself when the fetch has ended (no
    server here: every sheet fails at once) and a summary box follows."""
    s = Session(build)
    try:
        s.run_fixture("sheets", s.dir, FIX_LAT, FIX_LON, LEVEL)
        s.settings(s.start_receiver(FIX_LAT, FIX_LON), LEVEL)
        s.start_kiv()
        s.wait_painted()
        s.menu("g", "a")
        levels = s.find_window("^Download Area$")
        s.dismiss(levels, "Return")
        summary = s.find_window("^Kiv$", timeout=30)
        s.dismiss(summary, "Return")
        exit_through_menu(s)
    finally:
        s.close()


if __name__ == "__main__":
    sys.exit(main({"stall": case_stall, "area": case_area}))
