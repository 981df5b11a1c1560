#!/usr/bin/env bash
# The fuzz campaign: every fuzzer for SECONDS each (default 60), one after
# the other, new coverage merged into the corpora kept in the repository
# (fuzz/corpus/<target>, minimised with libFuzzer's -merge=1 into a fresh
# folder that then replaces the kept one), and one line per target: runs,
# executions per second, coverage, corpus size and crashes. Exits 1 when a
# target crashed, hung or ran out of memory; its input and log are kept in
# <build>/fuzz-crashes/<target>/ to become a regression input
# (fuzz/regressions/<target>/) once the fault is fixed.
#
#   scripts/fuzz.sh [SECONDS] [TARGET ...]      (default: every target below)
#   scripts/fuzz.sh 0 [TARGET ...]              only minimises the kept corpora
#
#   KIV_FUZZ_RUNS=N    also stop a target after N runs (whichever comes first)
#   KIV_FUZZ_BUILD     build folder (default build-fuzz: clang, ASan+UBSan,
#                      optimised, so a campaign gets several times the runs
#                      of the suite's Debug build-asan)
#   KIV_FUZZ_NICE      niceness of the fuzzers (default 19: a long campaign
#                      leaves the machine to others)
#
# Commit the grown corpora afterwards.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
build=${KIV_FUZZ_BUILD:-build-fuzz}
niceness=${KIV_FUZZ_NICE:-19}
receivers=../shared/testdata/receivers

targets=(
  nmea_fuzz            # NMEA 0183 incl. multi-GNSS sentences, phone replies
  zodiac_fuzz          # Rockwell Zodiac binary messages
  garmin_fuzz          # Garmin binary packets
  gpsd_reply_fuzz      # gpsd's replies through the gpsd:// filter, source names
  gif_fuzz             # GIF decoder
  jpeg_sheet_fuzz      # JPEG sheets through the sheet reader, extent search
  png_sheet_fuzz       # PNG sheets through the sheet reader, extent record chunk
  sheet_extents_fuzz   # extent records of GIF and JPEG sheets
  http_url_fuzz        # URLs and proxy lines
  remote_request_fuzz  # requests to the remote position server
  settings_fuzz        # kiv_ini.txt, kiv_com.txt, kiv_pos.txt, kiv_dev.txt, kiv_prx.txt
  gpx_fuzz             # GPX reading
  tile_sheet_fuzz      # sheets composed from MBTiles tiles (WebP, PNG, GIF, JPEG) or a whole MBTiles file
  tile_url_fuzz        # tile URL templates, subdomains, the world grid
  sheet_reply_fuzz     # the map server's reply page, WMS error replies
  state_fuzz           # kiv_state.txt, the track log
)
[ $# -gt 0 ] && targets=("$@")

if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DKIV_SANITIZE=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 2
fi
known=$(ninja -C "$build" -t targets all 2>/dev/null | sed -n 's/^\([A-Za-z0-9_]*\): phony$/\1/p')
is_built() { grep -qx "$1" <<<"$known"; }
built=()
for t in "${targets[@]}"; do is_built "$t" && built+=("$t"); done
if [ ${#built[@]} -gt 0 ]; then
  nice -n "$niceness" cmake --build "$build" -j 2 --target "${built[@]}" >/dev/null ||
    { echo "fuzz.sh: build failed" >&2; exit 2; }
fi

# Inputs written as files (sheets, settings) go to memory where there is one.
[ -w /dev/shm ] && export TMPDIR=/dev/shm
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
runs_limit=()
[ -n "${KIV_FUZZ_RUNS:-}" ] && runs_limit=(-runs="$KIV_FUZZ_RUNS")

# Puts the merged corpus in place of the kept one. The hand-made seeds
# (any name that is not a hash) always stay: the coverage of the system
# libraries (libjpeg, libpng) is not measured, so the merge cannot see
# what a progressive JPEG or a palette PNG adds.
replace_kept() {
  local kept=$1 merged=$2 f sum
  declare -A named=()
  for f in "$kept"/*; do
    [ -f "$f" ] || continue
    if [[ $(basename "$f") =~ ^[0-9a-f]{40}$ ]]; then
      rm -f "$f"
    else
      named[$(sha1sum <"$f" | cut -c1-40)]=1
    fi
  done
  for f in "$merged"/*; do
    sum=$(sha1sum <"$f" | cut -c1-40)
    [ -n "${named[$sum]:-}" ] || cp "$f" "$kept/$sum"
  done
}

printf '%-20s %10s %7s %6s %7s %12s %s\n' target runs exec/s cov ft corpus crashes
failed=()
for t in "${targets[@]}"; do
  if ! is_built "$t"; then
    printf '%-20s %s\n' "$t" "not built"
    continue
  fi
  bin=$(find "$build" -type f -name "$t" -perm -u+x | head -n 1)
  kept=fuzz/corpus/$t
  crashes=$build/fuzz-crashes/$t
  work=$(mktemp -d "${TMPDIR:-/tmp}/kiv_fuzz_$t.XXXXXX")
  mkdir -p "$kept" "$crashes" "$work/new" "$work/min"
  seeds=("$kept")
  [ -d "fuzz/regressions/$t" ] && seeds+=("fuzz/regressions/$t")
  # The receiver captures seed the receiver decoders; they are read, never
  # copied into the kept corpus.
  case $t in nmea_fuzz|zodiac_fuzz|garmin_fuzz|gpsd_reply_fuzz) [ -d "$receivers" ] && seeds+=("$receivers") ;; esac
  # Inputs up to 4 KB, as in the suite; NMEA gets enough to overflow its
  # line buffer twice.
  limits=(-rss_limit_mb=2048 -timeout=10 -max_len=4096)
  [ "$t" = nmea_fuzz ] && limits[2]=-max_len=9000
  before=$(find "$kept" -type f | wc -l)
  touch "$work/started"
  rc=0
  : >"$work/run.log"
  if [ "$seconds" -gt 0 ]; then
    nice -n "$niceness" "$bin" -max_total_time="$seconds" "${limits[@]}" "${runs_limit[@]}" -print_final_stats=1 \
      -artifact_prefix="$crashes/" "$work/new" "${seeds[@]}" >"$work/run.log" 2>&1
    rc=$?
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/run.log" | tail -n 1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/run.log" | tail -n 1)
  read -r cov ft < <(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$work/run.log" | tail -n 1 | awk '{print $2, $4}')
  # Old and new inputs, minimised together on the code they reach (not
  # on how often), which keeps the corpus to a few dozen inputs.
  if nice -n "$niceness" "$bin" -merge=1 -use_counters=0 "${limits[@]}" "$work/min" "$kept" "$work/new" \
      >"$work/merge.log" 2>&1 && [ -n "$(ls "$work/min")" ]; then
    replace_kept "$kept" "$work/min"
  fi
  corpus="$before>$(find "$kept" -type f | wc -l) $(du -sk --apparent-size "$kept" | cut -f1)K"
  found=0
  if [ $rc -ne 0 ]; then
    found=$(find "$crashes" -type f ! -name run.log -newer "$work/started" | wc -l)
    [ "$found" -gt 0 ] || found=1
    failed+=("$t")
    cp "$work/run.log" "$crashes/run.log"
  fi
  printf '%-20s %10s %7s %6s %7s %12s %s\n' "$t" "${runs:--}" "${speed:--}" "${cov:--}" "${ft:--}" "$corpus" "$found"
  rm -rf "$work"
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "crashes in: ${failed[*]} (inputs and logs in $build/fuzz-crashes/)"
  exit 1
fi
