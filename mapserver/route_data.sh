#!/usr/bin/env bash
# The routing database of the imports (sourced by kiv-mapserver.sh; uses
# $imports and lock_imports from osm_import.sh).
#
# kivroute routes over one Routino database built by planetsplitter over
# the roads of every import, so that a route crosses from one import to the
# next where they meet. Each import keeps its roads beside it
# (NAME.roads.osm.pbf, cut from its extract by osmium) so that the database
# can be built again over all of them when an import comes, is replaced or
# goes. A database is built in a staging folder and swapped in whole:
# imports/routing is a link to the current .routing.* folder, replaced in
# one rename, so kivroute opens either the old or the new one. A build that
# fails leaves the last good database and says why. The stamp
# (kiv-routing-stamp) is written last: the Routino version that built the
# database and each file's size, which kivroute checks before loading it.

routino_data=${KIV_ROUTINO_DATA:-/usr/share/routino}

# The ways and relations the router reads, out of an extract.
keep_roads() {  # keep_roads EXTRACT OUT LOG
  osmium tags-filter --no-progress --overwrite -f pbf -o "$2" "$1" \
    w/highway w/route=ferry r/type=restriction >>"$3" 2>&1
}

# Builds the database over the ROADS files into DIR/routing and stamps it;
# prints why on stdout when it cannot.
build_routes() {  # build_routes DIR ROADS...
  local dir=$1 version f
  shift
  if ! command -v planetsplitter >/dev/null 2>&1; then
    echo "planetsplitter is not installed (Debian package routino)"
    return 1
  fi
  rm -rf "$dir/routing" "$dir/routing.tmp"
  mkdir -p "$dir/routing" "$dir/routing.tmp"
  if ! planetsplitter --dir="$dir/routing" --tmpdir="$dir/routing.tmp" --tagging="$routino_data/tagging.xml" \
       --loggable "$@" > "$dir/routing.log" 2>&1; then
    # Its messages name the file it was reading.
    echo "planetsplitter failed$(grep '^Parse OSM Data \[' "$dir/routing.log" | tail -n 1 |
      sed 's/^Parse OSM Data \[\(.*\)\]$/ reading \1/'): $(grep -i -m 1 'error\|cannot\|no space' "$dir/routing.log" ||
      tail -n 1 "$dir/routing.log")"
    return 1
  fi
  rm -rf "$dir/routing.tmp"
  version=$(planetsplitter --version 2>&1 | sed -n 's/^Routino version \([^ ]*\).*/\1/p')
  {
    echo "routino $version"
    for f in "$dir/routing"/*.mem; do echo "$(basename "$f") $(stat -c %s "$f")"; done
  } > "$dir/routing/kiv-routing-stamp.new" && mv -f "$dir/routing/kiv-routing-stamp.new" "$dir/routing/kiv-routing-stamp"
}

# The kept roads of every import but SKIP, one a line.
kept_roads() {  # kept_roads [SKIP]
  local f
  for f in "$imports"/*.roads.osm.pbf; do
    if [ -e "$f" ] && [ "$(basename "$f" .roads.osm.pbf)" != "${1:-}" ] && [ -e "${f%.roads.osm.pbf}.gpkg" ]; then
      echo "$f"
    fi
  done
}

# Makes DIR/routing (built by build_routes) the database, under the .lock;
# with no DIR, leaves no database (the last import went).
install_routes() {  # install_routes [DIR]
  local new="" old
  if [ -n "${1:-}" ]; then
    new=$(mktemp -u "$imports/.routing.XXXXXX")
    mv "$1/routing" "$new"
    ln -sfn "$(basename "$new")" "$imports/routing.new"
    mv -fT "$imports/routing.new" "$imports/routing"
  else
    rm -f "$imports/routing"
  fi
  # A kivroute still reading an older one keeps its files open.
  for old in "$imports"/.routing.*; do
    if [ -e "$old" ] && [ "$old" != "$new" ]; then rm -rf "$old"; fi
  done
}

# Builds the database over the kept roads (all but SKIP's, with EXTRA) in
# DIR and swaps it in; says why when it could not, keeping the last one.
# The caller holds the import lock (one build at a time).
rebuild_routes() {  # rebuild_routes DIR [SKIP [EXTRA]]
  local dir=$1 skip=${2:-} extra=${3:-} roads why start=$EPOCHREALTIME
  mapfile -t roads < <(kept_roads "$skip")
  [ -n "$extra" ] && roads+=("$extra")
  if [ ${#roads[@]} -eq 0 ]; then
    lock_imports set
    install_routes
    return 0
  fi
  echo "Building the routing database over ${#roads[@]} import(s)..."
  if ! why=$(build_routes "$dir" "${roads[@]}"); then
    echo "kiv-mapserver: the routing database was not rebuilt, the last one is kept: $why" >&2
    return 1
  fi
  # Its own time, apart from the import's (the imports' lock not counted).
  routes_seconds=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }')
  lock_imports set
  install_routes "$dir"
  echo "Built the routing database in $routes_seconds s"
}

# kiv-mapserver.sh routes: builds the database again over the kept roads
# (after a Routino upgrade, or when kivroute finds it damaged).
routes_command() {
  local staging
  mkdir -p "$imports"
  imports=$(cd "$imports" && pwd)
  lock_imports import
  staging=$(mktemp -d "$imports/.staging.XXXXXX")
  import_staging=$staging
  trap 'rm -rf "$import_staging"' EXIT
  if [ -z "$(kept_roads)" ]; then
    echo "kiv-mapserver: no import keeps its roads: import an OpenStreetMap extract (again) with kiv-mapserver.sh import FILE" >&2
    return 1
  fi
  rebuild_routes "$staging"
}
