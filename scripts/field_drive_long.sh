#!/usr/bin/env bash
# The long field drive, run by hand: the normal build in a folder of its own
# (so that rebuilds elsewhere do not disturb it), then the drive at a lower
# priority. Its table goes to the README's reliability section.
#
#   scripts/field_drive_long.sh [MINUTES] [REPORT.json]   (default 60 minutes)
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-60}
report=${2:-field_drive_long.json}
build=build-drive-long
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j 2 --target kiv kivsim kivsheet kiv_full_disk_shim
exec nice -n 10 python3 tests/field_drive.py "$build" --minutes "$minutes" --report "$report"
