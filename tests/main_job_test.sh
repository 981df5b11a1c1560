#!/usr/bin/env bash
# Runs scripts/run.sh for about forty seconds with a fast simulated drive and
# checks what a person would see: the window painted, sheets downloaded from
# the local map server as the position moved, screenshots written, and a
# clean exit through the menu.
set -u
build=$1
root=$(cd "$(dirname "$0")/.." && pwd)
for tool in Xvfb xdotool import mapserv lighttpd gmt; do
  command -v "$tool" >/dev/null || { echo "skip: $tool is not installed"; exit 77; }
done
[ -x "$build/ui/wx/kiv" ] || { echo "skip: kiv was not built"; exit 77; }

work=$(mktemp -d)
session=
trap '[ -z "$session" ] || pkill -s "$session"; rm -rf "$work"' EXIT
out=$work/run.log
# The window manager ends half-way, as a crashed one would: the clean-up must
# still stop everything else the job started, Xvfb last. The job runs in a
# session of its own so that whatever it leaves behind can be found. Its
# "kiv: " lines (KIV_PAINT_LOG) are read, not shown.
mkdir -p "$work/bin"
if wm=$(command -v openbox); then
  printf '#!/bin/sh\nexec timeout 15 %s "$@"\n' "$wm" > "$work/bin/openbox"
  chmod +x "$work/bin/openbox"
fi
setsid env -u DISPLAY PATH="$work/bin:$PATH" KIV_WORK="$work/job" KIV_BUILD_DIR="$build" KIV_SIM_SPEED=1500 \
  KIV_SECONDS=40 KIV_SHOT_EVERY=4 KIV_PAINT_LOG=1 timeout 600 bash "$root/scripts/run.sh" > "$out" 2>&1 &
session=$!
wait "$session"
status=$?
grep -v '^kiv: ' "$out"
fail() { echo "FAIL: $*"; exit 1; }
[ "$status" -eq 0 ] || fail "run.sh ended with status $status"
grep -q '^kiv: painted' "$out" || fail "the window never painted a sheet"
sheets=$(find "$work/job/Maps" -name 'mac_z3_*.gif' | wc -l)
[ "$sheets" -ge 2 ] || fail "only $sheets level-3 sheets were downloaded"
shots=$(ls "$work/job/screenshots"/*.png 2>/dev/null | wc -l)
[ "$shots" -ge 2 ] || fail "only $shots screenshots were written"
# The map moved under the marker: two screenshots differ.
first=$(ls "$work/job/screenshots"/*.png | head -n 1)
last=$(ls "$work/job/screenshots"/*.png | tail -n 1)
cmp -s "$first" "$last" && fail "the picture never changed"
left=$(pgrep -s "$session") && { ps -o pid,args -p "$(echo $left | tr ' ' ,)"; fail "the job left processes running"; }
pgrep -f "$work/job" >/dev/null && { pgrep -af "$work/job"; fail "something the job started is still running"; }
echo "main job: $sheets sheets downloaded, $shots screenshots"
exit 0
