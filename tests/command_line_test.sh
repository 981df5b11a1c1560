#!/usr/bin/env bash
# Every program's command line: --help exits 0 with its usage on standard
# output, --version names the project version, a wrong option exits 2 with a
# usage line on standard error; and values kivsheet must not cut or guess.
set -u
build=$1
source=$2
version=$(sed -n 's/^project(kiv VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
long=/tmp/$(printf 'm%.0s' $(seq 300))
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
status=0
# expected status | program | arguments
while IFS='|' read -r expect program args; do
  [ -n "$program" ] || continue
  case $program in
    kiv) path=$build/ui/wx/kiv ;;
    kiv-mapserver) path=$source/mapserver/kiv-mapserver.sh ;;
    *) path=$build/tools/$program/$program ;;
  esac
  eval "set -- $args"
  got=0
  (cd "$build" && "$path" "$@") > "$out" 2> "$err" || got=$?
  why=
  [ "$got" = "$expect" ] || why="status $got"
  case "$expect:$1" in
    0:--help) grep -qi usage "$out" || why="no usage on stdout" ;;
    0:--version) grep -q " $version\$" "$out" || why="version not $version" ;;
    2:--frobnicate) grep -qi usage "$err" || why="no usage on stderr" ;;
  esac
  [ -z "$why" ] || { echo "FAIL: $program $args: $why: $(head -c 300 "$err")"; status=1; }
done < <(
  for p in kiv kivsheet kivtrack kivsim kivdump kiv-mapserver kivroute; do
    printf '0|%s|--help\n0|%s|--version\n2|%s|--frobnicate\n' "$p" "$p" "$p"
  done
  cat <<'EOF_TABLE'
2|kivsheet|fetch-area --bbox 45.4 -75.7 45.41 -75.69 --levels 4 --dry-run --jobs 3x
2|kivsheet|fetch-area --bbox 45.4 -75.7 45.41 -75.69 --levels 4 --dry-run --maps $long
0|kivsheet|fetch-area --bbox 45.4 -75.7 45.41 -75.69 --levels 4 --dry-run --force --jobs 16
0|kivsheet|name -- 45.4 -75.7 2
EOF_TABLE
)
exit $status
