#!/usr/bin/env bash
# Builds Kiv and runs the whole test suite: the normal build (gcc) and the
# sanitizer build (clang, ASan+UBSan) with the bounded fuzz runs. Both stages
# run whatever the first gave; a summary at the end says which failed, and
# the status is non-zero when either did.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh || exit

jobs=$(nproc)
# A compiler cache makes the second build and later runs quick.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

normal() {
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null &&
    cmake --build build -j "$jobs" &&
    ctest --test-dir build --output-on-failure -j "$jobs"
}
sanitized() {
  cmake -S . -B build-asan -G Ninja -DKIV_SANITIZE=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug "${launcher[@]}" >/dev/null &&
    cmake --build build-asan -j "$jobs" &&
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      ctest --test-dir build-asan --output-on-failure -j "$jobs"
}

failed=0
summary=()
for stage in normal sanitized; do
  if "$stage"; then
    summary+=("$stage build: passed")
  else
    summary+=("$stage build: FAILED (build or tests; see above)")
    failed=1
  fi
done

echo
echo "Summary:"
printf '  %s\n' "${summary[@]}"
# Without the shared captures their tests skip; say it last, where it is seen.
[ -d ../shared/testdata/receivers ] || echo "  capture tests skipped: ../shared/testdata/receivers not found"
exit "$failed"
