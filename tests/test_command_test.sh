#!/usr/bin/env bash
# The README's test command runs both stages when the first fails, then says
# which failed and ends non-zero. Run on a copy of the script with cmake and
# ctest stood in for: the first stage's tests fail.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tree/scripts" "$work/bin"
cp "$root/scripts/test.sh" "$work/tree/scripts/"
printf '#!/bin/sh\nexit 0\n' > "$work/tree/scripts/install-deps.sh"
printf '#!/bin/sh\necho "cmake $*" >> "%s/calls"\n' "$work" > "$work/bin/cmake"
printf '#!/bin/sh\necho "ctest $*" >> "%s/calls"\ncase "$*" in *"build "*) exit 8;; esac\n' "$work" > "$work/bin/ctest"
chmod +x "$work/bin/cmake" "$work/bin/ctest"
PATH="$work/bin:$PATH" bash "$work/tree/scripts/test.sh" > "$work/out" 2>&1
status=$?
cat "$work/out"
fail() { echo "FAIL: $*"; exit 1; }
[ "$status" -ne 0 ] || fail "ended with status 0 although the first stage failed"
grep -q -- '--test-dir build-asan' "$work/calls" || fail "the sanitizer stage did not run after the first failed"
grep -qi 'normal.*fail' "$work/out" || fail "no summary naming the failed stage"
grep -qi 'sanitiz.*pass' "$work/out" || fail "no summary naming the stage that passed"
echo "test command: both stages ran, summary given"
