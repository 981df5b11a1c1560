#!/usr/bin/env python3
"""kiv on its real window under Xvfb: the map with the toolbar and the
marker where the projection puts it, the accelerators, a click zoom, a key
pan, a hidden window, a scaled display, a warning box, and a clean Exit
through the menu. Usage: gui_test.py BUILD_DIR CASE [--save-screenshot PNG]."""
import os
import re
import signal
import subprocess
import sys
import time

from gui_session import PANE_X, PANE_Y, Failure, Session, check, main

YELLOW, BLACK, WHITE = 0xFFFF00, 0x000000, 0xFFFFFF
MARKER = ["...##k##...", ".####k####.", ".####k####.", "###########", "####kkk####", "kkk#kkk#kkk",
          "####kkk####", "###########", ".####k####.", ".####k####.", "...##k##..."]
TITLE = re.compile(r"KIV - ([NS]) (\d+)°(\d\d)'(\d\d)\" / ([EW]) (\d+)°(\d\d)'(\d\d)\"")
# A fix north-east of the start position, inside the level-2 sheet of its
# grid point, away from the sheet's edges.
FIX_LAT, FIX_LON, LEVEL = 45.47, -75.62, 2
FIX_TITLE = "KIV - N 45°28'12\" / W 75°37'12\""


def title_position(title):
    m = TITLE.match(title)
    check(m, f"title {title!r} holds no position")
    lat = int(m[2]) + int(m[3]) / 60 + int(m[4]) / 3600
    lon = int(m[6]) + int(m[7]) / 60 + int(m[8]) / 3600
    return (-lat if m[1] == "S" else lat), (-lon if m[5] == "W" else lon)


def toolbar_problems(s, shot):
    """The strip's lines and separators, and a face on every button."""
    width = s.client[2]
    bad = []
    for y, colour in ((1, BLACK), (2, WHITE), (42, BLACK), (43, WHITE)):
        for x in range(0, width, 7):
            if s.client_pixel(shot, x, y) != colour:
                bad.append(f"line y={y} at x={x}")
                break
    for x, colour in ((2, BLACK), (3, WHITE), (56, BLACK), (57, WHITE), (238, BLACK), (239, WHITE),
                      (478, BLACK), (479, WHITE)):
        for y in range(5, 40, 3):
            if s.client_pixel(shot, x, y) != colour:
                bad.append(f"separator x={x} at y={y}")
                break
    for left in (14, 67, 110, 153, 196, 254, 299, 344, 389, 434):
        colours = {s.client_pixel(shot, left + dx, 6 + dy) for dx in range(0, 32, 3) for dy in range(0, 32, 3)}
        if len(colours) < 3:
            bad.append(f"button at x={left} has no face")
    return bad


def marker_problems(s, shot, mx, my):
    """The 11 x 11 pattern centred on client pixel (mx, my); each of its
    pixels a whole block of device pixels on a scaled display."""
    scale = round(s.client[4])
    bad = []
    for r, row in enumerate(MARKER):
        for c, cell in enumerate(row):
            for dy in range(scale):
                for dx in range(scale):
                    got = s.client_pixel(shot, mx + c - 5, my + r - 5, dx, dy)
                    if cell == "#" and got != YELLOW or cell == "k" and got != BLACK or \
                            cell == "." and got in (YELLOW, BLACK):
                        bad.append(f"({c},{r})+({dx},{dy}) is {got:06X} for '{cell}'")
    return bad


def sheet_problems(s, shot, lat, lon, level, points, big=0, follow=True):
    """The map's own colours at client points (no shift, no blur), as the
    view following a fix at (lat, lon) shows it, or without follow the view
    of that grid point's sheet."""
    bad = []
    scale = round(s.client[4])
    for x, y in points:
        want = int(s.run_fixture("colour" if follow else "sheetcolour", lat, lon, level, big, x, y), 16)
        for dy in range(scale):
            for dx in range(scale):
                got = s.client_pixel(shot, x, y, dx, dy)
                if got != want:
                    bad.append(f"sheet at ({x},{y})+({dx},{dy}) is {got:06X}, not {want:06X}")
    return bad


def until_screen(s, problems, what, timeout=10):
    """Waits for paints until the screen shows what it should."""
    deadline = time.monotonic() + timeout
    while True:
        shot = s.screenshot()
        bad = problems(shot)
        if not bad:
            return shot
        if time.monotonic() > deadline:
            if os.environ.get("KIV_TEST_SHOT"):
                s.screenshot(os.environ["KIV_TEST_SHOT"])
            raise Failure(f"{what}: " + "; ".join(bad[:6]))
        try:
            s.wait_line(r"^kiv: painted \d+$", timeout=3)
        except Failure:
            pass


def marker_pixel(s, sheet_lat, sheet_lon, level, big=0):
    x, y = s.run_fixture("marker", s.dir, sheet_lat, sheet_lon, level, big, FIX_LAT, FIX_LON).split()
    return int(x), int(y)


def corners_away_from(mx, my):
    return [(x, y) for x, y in ((40, 90), (440, 90), (40, 380), (440, 380), (240, 230))
            if abs(x - mx) > 8 or abs(y - my) > 8]


def start(build, scale=None, port=None):
    s = Session(build, scale)
    s.run_fixture("sheets", s.dir, FIX_LAT, FIX_LON, LEVEL)
    s.settings(port or s.start_receiver(FIX_LAT, FIX_LON), LEVEL)
    s.start_kiv()
    return s


def exit_through_menu(s):
    """Alt+G opens "&Gps", X picks "E&xit"; the program must end with 0."""
    s.key("alt+g")
    s.wait_menu_open()
    s.key("x")
    rc = s.wait_exit()
    check(rc == 0, f"exit status {rc}")
    criticals = [l for l in s.stderr_lines if "CRITICAL" in l or "Gtk-WARNING" in l or "assert" in l.lower()]
    check(not criticals, "toolkit complaints: " + " | ".join(criticals[:3]))


def case_map(build, save):
    s = start(build)
    try:
        s.wait_painted()
        s.wait_title(lambda t: t.startswith(FIX_TITLE), "the fix's position")
        mx, my = marker_pixel(s, FIX_LAT, FIX_LON, LEVEL)
        plain = corners_away_from(mx, my)
        until_screen(s, lambda shot: toolbar_problems(s, shot) + marker_problems(s, shot, mx, my) +
                     sheet_problems(s, shot, FIX_LAT, FIX_LON, LEVEL, plain), "the first map")
        if save:
            subprocess.run(["timeout", "20", "import", "-window", s.window, save], env=s.env, check=True)

        # Shift+Page Down: the link closes, the fix is gone with its marker,
        # Connect is offered again.
        s.key("shift+Next")
        s.wait_line(r"^kiv: menu 261 enabled 1$")
        until_screen(s, lambda shot: sheet_problems(s, shot, FIX_LAT, FIX_LON, LEVEL, [(mx, my), (mx - 3, my)]),
                     "the marker after Disconnect")
        # Shift+Page Up reconnects (only an enabled Connect does) and the
        # receiver's next fix brings the marker back.
        s.key("shift+Prior")
        s.wait_line(r"^kiv: menu 261 enabled 0$")
        until_screen(s, lambda shot: marker_problems(s, shot, mx, my), "the marker after Connect")

        # A left click on the map zooms in on the vehicle (the clicked
        # point) and Auto Pan goes on following it.
        s.click(mx, my)
        until_screen(s, lambda shot: marker_problems(s, shot, mx, my) +
                     sheet_problems(s, shot, FIX_LAT, FIX_LON, LEVEL + 1, plain), "the zoomed map")

        # The east arrow button pans a quarter of the pane east, as the
        # Right key does, and Auto Pan goes off.
        # The zoom's frames each print a view line, some maybe not read yet:
        # the pan is the step from one view line to the next.
        view = re.compile(r"^kiv: view \d (-?[\d.]+) -?[\d.]+ (\d+) \d+ ([\d.]+) ")
        before = [m for m in map(view.match, s.seen) if m][-1]
        read = len(s.seen)
        s.click(196 + 16, 20)
        s.wait_line(r"^kiv: menu 273 checked 0$")
        deadline = time.monotonic() + 15
        while True:
            for m in filter(None, map(view.match, s.seen[read:])):
                if abs(float(m[1]) - float(before[1]) - 0.25 * int(before[2]) * float(before[3])) < 1e-3:
                    break
                before = m
            else:
                check(time.monotonic() < deadline, f"the pan after {before[0]!r}")
                read = len(s.seen)
                s.wait_line(view.pattern)
                continue
            break
        exit_through_menu(s)
    finally:
        s.close()


def case_hidpi(build, save):
    """GDK_SCALE=2: the frame is composed in device pixels (twice the
    client size each way), the map one to one on them (the view twice as
    many pixels wide), the toolbar drawn at twice its size."""
    s = start(build, scale=2)
    try:
        frame = s.wait_line(r"^kiv: frame (\d+) (\d+)$")
        s.wait_painted()
        check(s.client[4] == 2, f"content scale {s.client[4]}")
        check((int(frame[1]), int(frame[2])) == (2 * s.client[2], 2 * s.client[3]),
              f"{frame[0]!r} for a client of {s.client[2]} x {s.client[3]}")
        s.wait_title(lambda t: t.startswith(FIX_TITLE), "the fix's position")
        # The view's line comes with a paint: maybe already among those read.
        pattern = r"^kiv: view \d -?[\d.]+ -?[\d.]+ (\d+) (\d+) "
        view = next((m for m in map(lambda l: re.match(pattern, l), reversed(s.seen)) if m), None) or \
            s.wait_line(pattern)
        check(int(view[1]) == 2 * s.client[2] - 4, f"the view at device size: {view[0]!r}")
        until_screen(s, lambda shot: toolbar_problems(s, shot), "the scaled toolbar")
        if save:
            subprocess.run(["timeout", "20", "import", "-window", s.window, save], env=s.env, check=True)
        exit_through_menu(s)
    finally:
        s.close()


def case_hidden(build, save):
    """An unmapped window gets no paint: the reader's repaint requests run
    out, nothing locks up, and the map comes back when mapped again."""
    s = start(build)
    try:
        s.wait_painted()
        s.wait_line(r"^kiv: painted \d+$")
        s.xdo("windowunmap", "--sync", s.window)
        s.wait_line(r"^kiv: visible 0$")
        # Several seconds of receiver data with nobody painting.
        deadline = time.monotonic() + 3
        while time.monotonic() < deadline:
            try:
                line = s.wait_line(r"^kiv: painted \d+$", timeout=max(0.1, deadline - time.monotonic()))
                raise Failure(f"painted while unmapped: {line[0]}")
            except Failure as e:
                if "painted while" in str(e):
                    raise
        s.xdo("windowmap", "--sync", s.window)
        s.wait_line(r"^kiv: visible 1$")
        s.wait_line(r"^kiv: painted \d+$")
        exit_through_menu(s)
    finally:
        s.close()


def case_warning(build, save):
    """A port that cannot be used (not a serial device; a missing one is
    looked for quietly): the warning box captioned "Kiv" comes up during
    start-up, Return answers it, and the program goes on."""
    s = start(build, port="/dev/null")
    try:
        s.dismiss(s.find_window("^Kiv$", timeout=20), "Return")
        s.wait_painted()
        check(s.title().startswith("KIV - N 45°30'00\" / W 75°40'00\""), f"title {s.title()!r}")
        exit_through_menu(s)
    finally:
        s.close()


def case_bigmaps(build, save):
    """Options > Big Maps: kiv_com.txt says Big, the window keeps its size
    and the pane shows the big sheets."""
    s = start(build)
    try:
        s.wait_painted()
        s.wait_title(lambda t: t.startswith(FIX_TITLE), "the fix's position")
        s.menu("o", "b")
        s.wait_line(r"^kiv: menu 276 checked 1$")
        s.wait_file("kiv_com.txt", "COM1\nBig\n")
        # After a menu item chosen with the keyboard, GTK on a bare X server
        # may leave the closed menu's pixels and the next frames unshown
        # until an input event: one harmless key, as a hand at the keyboard.
        s.key("Escape")
        mx, my = marker_pixel(s, FIX_LAT, FIX_LON, LEVEL, big=1)
        points = [(x, y) for x, y in ((PANE_X, PANE_Y), (PANE_X + 479, PANE_Y + 359), (PANE_X + 479, PANE_Y), (PANE_X, PANE_Y + 359), (400, 300), (100, 300))
                  if abs(x - mx) > 8 or abs(y - my) > 8]
        until_screen(s, lambda shot: toolbar_problems(s, shot) + marker_problems(s, shot, mx, my) +
                     sheet_problems(s, shot, FIX_LAT, FIX_LON, LEVEL, points, big=1), "the big map")
        exit_through_menu(s)
    finally:
        s.close()


def case_dialogs(build, save):
    """The dialogs of the menu on the real toolkit: two monitors at once,
    the COM settings with Ok (kiv_com.txt rewritten) and with Escape (left
    alone), Keys, About, and Open Map typing a sheet's path."""
    s = start(build)
    try:
        s.wait_painted()
        s.menu("d", "m")
        s.menu("d", "m")
        deadline = time.monotonic() + 10
        monitors = []
        while len(monitors) < 2 and time.monotonic() < deadline:
            monitors = s.xdo("search", "--onlyvisible", "--name", "^GPS Monitor$")[1].split()
            time.sleep(0.1)
        check(len(monitors) == 2, f"{len(monitors)} monitors open")
        # Their timers run while the main window goes on painting.
        s.wait_line(r"^kiv: painted \d+$")
        for w in monitors:
            s.dismiss(w, "Return")

        # Ok writes the settings back in the program's own form.
        s.write("kiv_com.txt", "COM1\nsmall\n")
        s.menu("o", "c")
        s.dismiss(s.find_window("^KIV Settings"), "Return")
        s.wait_file("kiv_com.txt", "COM1\nSmall\n")
        # Escape cancels: the file stays as it is. Options > Track after it
        # runs only once the cancelled command has ended.
        s.write("kiv_com.txt", "COM1\nsmall\n")
        s.menu("o", "c")
        s.dismiss(s.find_window("^KIV Settings"), "Escape")
        s.menu("o", "t")
        s.wait_line(r"^kiv: menu 275 checked 1$")
        check(s.read("kiv_com.txt") == "COM1\nsmall\n", f"kiv_com.txt after Escape: {s.read('kiv_com.txt')!r}")

        for key, name in (("k", "^Buttons and Keys$"), ("a", "^About KIV$")):
            s.menu("h", key)
            s.dismiss(s.find_window(name), "Return")

        # Open Map: the level-3 sheet of the fix, by its path; the title
        # then shows that sheet's centre and auto-pan is off.
        path = s.run_fixture("path", s.dir, FIX_LAT, FIX_LON, LEVEL + 1)
        s.menu("g", "o")
        chooser = s.find_window("^Select a file$")
        s.answer(chooser, "ctrl+l")
        s.xdo("type", "--delay", "5", path)
        s.answer(chooser, "Return")
        s.wait_gone("^Select a file$")
        s.wait_line(r"^kiv: menu 273 checked 0$")
        opened = s.wait_title(lambda t: TITLE.match(t) and not t.startswith(FIX_TITLE), "the opened sheet")
        lat, lon = title_position(opened)
        check(path.endswith(s.run_fixture("name", lat, lon, LEVEL + 1)), f"opened {path}, title {opened!r}")
        exit_through_menu(s)
    finally:
        s.close()


def case_signal(build, save):
    """SIGTERM closes the window as Exit does, with status 0, at once over a
    modal dialog (ended first, never destroyed under it) and over the
    start-up warning box alike."""
    s = start(build)
    try:
        s.wait_painted()
        s.menu("o", "c")
        s.find_window("^KIV Settings")
        s.kiv.send_signal(signal.SIGTERM)
        rc = s.wait_exit()
        check(rc == 0, f"exit status {rc} with the COM dialog open")
    finally:
        s.close()
    s = start(build, port="/dev/null")
    try:
        s.find_window("^Kiv$", timeout=20)
        s.kiv.send_signal(signal.SIGTERM)
        rc = s.wait_exit()
        check(rc == 0, f"exit status {rc} with the warning box open")
    finally:
        s.close()


def case_quiet(build, save):
    """Started as a person starts it (no KIV_PAINT_LOG), the program says
    nothing on the console: no paint lines, no toolkit debug lines."""
    s = Session(build)
    try:
        del s.env["KIV_PAINT_LOG"]
        s.run_fixture("sheets", s.dir, FIX_LAT, FIX_LON, LEVEL)
        s.settings(s.start_receiver(FIX_LAT, FIX_LON), LEVEL)
        s.start_kiv()
        s.window = s.find_window(r"^(KIV - |GPS for )")
        s.wait_title(lambda t: t.startswith("KIV - "), "showing the fix")
        exit_through_menu(s)
        out = []
        while (line := s.lines.get(timeout=5)) is not None:
            out.append(line)
        said = out + [l.rstrip("\n") for l in s.stderr_lines]
        check(not said, "the console shows: " + " | ".join(said[:3]))
    finally:
        s.close()


if __name__ == "__main__":
    sys.exit(main({"map": case_map, "hidpi": case_hidpi, "hidden": case_hidden, "warning": case_warning,
                   "dialogs": case_dialogs, "bigmaps": case_bigmaps, "signal": case_signal, "quiet": case_quiet}))
