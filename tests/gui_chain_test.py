#!/usr/bin/env python3
"""From a mark to navigation on the real window under Xvfb with openbox: on
a simulated receiver, W marks the vehicle's place under the name offered
(waypoints.gpx gains WPT001); Find (Ctrl+F) finds it by name and its Go To
button starts navigation to it, kept at exit as kiv_state.txt's GoTo= line.
Usage: gui_chain_test.py BUILD_DIR waypoint_go_to."""
import sys
import time

from gui_session import Session, check, main
from gui_test import FIX_LAT, FIX_LON, FIX_TITLE, LEVEL, exit_through_menu

NAME = "WPT001"


def wait_text_in(s, name, text, timeout=15):
    deadline = time.monotonic() + timeout
    while text not in (s.read(name) or ""):
        check(time.monotonic() < deadline, f"{name} never held {text!r}: {s.read(name)!r}")
        time.sleep(0.05)


def case_waypoint_go_to(build, save):
    s = Session(build)
    try:
        s.run_fixture("sheets", s.dir, FIX_LAT, FIX_LON, LEVEL)
        s.start_window_manager()
        s.settings(s.start_receiver(FIX_LAT, FIX_LON), LEVEL)
        s.start_kiv()
        s.wait_painted()
        # Marking needs a fix: the title shows its position once there is one.
        s.wait_title(lambda t: t.startswith(FIX_TITLE), "the fix's position")

        s.key("w")
        s.dismiss(s.find_window("^Mark Waypoint$"), "Return")
        wait_text_in(s, "waypoints.gpx", NAME)

        s.key("ctrl+f")
        find = s.find_window("^Find$")
        s.answer(find, *list(NAME))
        # The waypoints are searched as each key arrives, so the result is
        # there once the keys are: Alt+G is the Go To button.
        s.dismiss(find, "alt+g")

        exit_through_menu(s)
        state = s.read("kiv_state.txt") or ""
        check(any(l.startswith("GoTo=") and l.endswith(NAME) for l in state.splitlines()),
              f"no Go To {NAME} kept: {state!r}")
    finally:
        s.close()


if __name__ == "__main__":
    sys.exit(main({"waypoint_go_to": case_waypoint_go_to}))
