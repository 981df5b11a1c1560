#!/usr/bin/env bash
# The main job: Kiv on the embedded default, with no hardware and no internet.
# It installs what is missing, builds, starts the local map server and a
# simulated receiver driving along the Ottawa River, prepares a working
# folder pointing Kiv at both, and opens the moving map. Without a display it
# runs under Xvfb and writes a screenshot every few seconds.
#
# Environment (all optional):
#   KIV_WORK        working folder (default: ./run in the checkout)
#   KIV_SIM_SPEED   simulated speed in km/h (default 90)
#   KIV_SECONDS     close Kiv through its menu after this many seconds
#   KIV_SHOT_EVERY  seconds between screenshots (default 5)
#   KIV_BUILD_DIR   use this existing build instead of installing and building
# Everything started here is stopped when the window closes or on Ctrl-C.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${KIV_BUILD_DIR:-}
if [ -z "$build" ]; then
  bash scripts/install-deps.sh
  build=$root/build
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j "$(nproc)" --target kiv kivsim kivsheet kivdump
fi

work=${KIV_WORK:-$root/run}
speed=${KIV_SIM_SPEED:-90}
shot_every=${KIV_SHOT_EVERY:-5}
shots=$work/screenshots
mkdir -p "$work/Maps" "$shots"
rm -f "$shots"/*.png

sim_pid= xvfb_pid= shot_pid= kiv_pid= wm_pid= quit_pid=
# Whatever has ended already (the window manager, the simulator), the rest is
# still stopped: a kill of a gone process must not end the clean-up under -e.
stop() { if [ -n "$1" ]; then kill "$1" 2>/dev/null || true; fi; }
cleanup() {
  trap - EXIT INT TERM
  stop "$quit_pid"
  stop "$shot_pid"
  stop "$kiv_pid"
  stop "$sim_pid"
  bash "$root/mapserver/kiv-mapserver.sh" stop "$work/mapserver" || true
  stop "$wm_pid"
  stop "$xvfb_pid"
  # Xvfb is a process substitution, which a bare wait leaves out: the display
  # is free when this script has ended.
  wait 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then wait "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "Starting the local map server..."
server=$(bash "$root/mapserver/kiv-mapserver.sh" start "$work/mapserver")
echo "Map server: $server"

route=$root/tools/kivsim/routes/ottawa-river.txt
"$build/tools/kivsim/kivsim" --mode nmea --route "$route" --speed "$speed" \
  > "$work/kivsim.log" 2>&1 &
sim_pid=$!
pty=
for _ in $(seq 100); do
  pty=$(head -n 1 "$work/kivsim.log" 2>/dev/null || true)
  [ -n "$pty" ] && break
  sleep 0.05
done
[ -n "$pty" ] || { echo "kivsim did not start (see $work/kivsim.log)" >&2; exit 1; }
echo "Simulated receiver on $pty at $speed km/h"

# Settings: NMEA receiver on COM1 = the simulator, maps from the local server,
# start at the route's first point on the 1:50k level.
read -r lat lon < "$route"
cat > "$work/kiv_ini.txt" <<EOF
Com1=$pty
Server=$server
Maps=./Maps
Init=3
Hair=1
Dash=km/h
EOF
printf 'COM1\nSmall\n' > "$work/kiv_com.txt"
printf 'NMEA\n' > "$work/kiv_dev.txt"
python3 - "$lat" "$lon" > "$work/kiv_pos.txt" <<'EOF'
import sys
for v, pos, neg in ((float(sys.argv[1]), "N", "S"), (float(sys.argv[2]), "E", "W")):
    a = abs(v); d = int(a); m = int((a - d) * 60); s = int(round(((a - d) * 60 - m) * 60))
    print("%s %3d %02d %02d" % (pos if v > 0 else neg, d, m, min(s, 59)))
EOF

if [ -z "${DISPLAY:-}" ]; then
  exec 8< <(Xvfb -displayfd 1 -screen 0 1920x1080x24 -nolisten tcp 2>/dev/null)
  xvfb_pid=$!
  read -r -t 10 display <&8 || { echo "Xvfb did not start" >&2; exit 1; }
  export DISPLAY=:$display
  echo "No display: running under Xvfb on $DISPLAY; screenshots in $shots"
  # A window manager, so the window opens maximised as on a desktop.
  if command -v openbox >/dev/null; then
    openbox --sm-disable >/dev/null 2>&1 &
    wm_pid=$!
    for _ in $(seq 100); do timeout 5 wmctrl -m >/dev/null 2>&1 && break; sleep 0.1; done
    [ -f "$work/kiv_state.txt" ] || printf 'Maximised=1\n' > "$work/kiv_state.txt"
  fi
  (
    # Stopped, it stops its pause too rather than leave it behind.
    trap 'kill $! 2>/dev/null; exit 0' TERM
    n=0
    while sleep "$shot_every" & wait $!; do
      n=$((n + 1))
      import -window root "$shots/kiv-$(printf %04d $n).png" 2>/dev/null || true
    done
  ) &
  shot_pid=$!
fi
export GDK_BACKEND=x11 NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory

cd "$work"
"$build/ui/wx/kiv" &
kiv_pid=$!
if [ -n "${KIV_SECONDS:-}" ]; then
  (
    trap 'kill $! 2>/dev/null; exit 0' TERM
    sleep "$KIV_SECONDS" & wait $!
    # Quit through the menu, as a person would: Gps > Exit.
    wid=$(timeout 5 xdotool search --onlyvisible --pid "$kiv_pid" 2>/dev/null | head -n 1)
    [ -n "$wid" ] || exit 0
    timeout 5 xdotool windowfocus --sync "$wid" 2>/dev/null
    timeout 5 xdotool key alt+g 2>/dev/null
    for _ in $(seq 50); do
      [ "$(timeout 5 xdotool search --onlyvisible --pid "$kiv_pid" 2>/dev/null | wc -l)" -gt 1 ] && break
      sleep 0.1
    done
    timeout 5 xdotool key x 2>/dev/null
  ) &
  quit_pid=$!
fi
status=0
wait "$kiv_pid" || status=$?
kiv_pid=
echo "Kiv ended (status $status). Sheets in $work/Maps: $(find "$work/Maps" -name '*.gif' | wc -l)"
exit "$status"
