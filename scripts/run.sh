#!/usr/bin/env bash
# The main job: install, build, and run Kiv.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
capture=../shared/testdata/receivers/haicom-305N.bin
if [ -f "$capture" ]; then
  exec ./build/tools/kivdump/kivdump --device nmea "$capture"
fi
echo "kivdump built at build/tools/kivdump/kivdump"
