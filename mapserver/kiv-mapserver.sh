#!/usr/bin/env bash
# Starts and stops the local map server: MapServer behind lighttpd on
# 127.0.0.1. The map data are built on first use into a cache folder.
#
#   kiv-mapserver.sh start [RUN_DIR] [PORT]   prints the server root URL
#                                             (port 8080 when free, else the one it had
#                                             last, else any free one)
#   kiv-mapserver.sh stop  [RUN_DIR]
#   kiv-mapserver.sh data                     builds the data only
#   kiv-mapserver.sh import FILE [NAME] [--replace]
#                                             adds an OpenStreetMap extract
#                                             (.osm.pbf, .osm, .osm.bz2, .osm.gz)
#   kiv-mapserver.sh list                     lists the imports
#   kiv-mapserver.sh remove NAME              removes an import
#   kiv-mapserver.sh routes                   builds the routing database again
#   kiv-mapserver.sh search TEXT [--near LAT,LON] [--limit N] [RUN_DIR]
#                                             names of the imports and towns
#                                             matching TEXT, best first: name,
#                                             kind, latitude, longitude, import
#                                             (tab-separated)
#
# KIV_MAPDATA names the data cache (default ~/.cache/kiv-mapdata),
# KIV_MAPIMPORTS the folder of the imports (default $KIV_MAPDATA/imports).
# KIV_MAPSERVER_LISTEN is the address the server listens on (default
# 127.0.0.1, this machine only): 0.0.0.0, or one address of this machine,
# serves the maps and routes to other machines too (a club or fleet server).
# Imports take effect at once, also on a running server.
#   kiv-mapserver.sh --help | --version
set -euo pipefail
# Its files are beside it: in the source tree, or under share/kiv/mapserver
# when installed (bin/kiv-mapserver is a link to it there).
here=$(cd "$(dirname "$(readlink -f "$0")")" && pwd)
listen=${KIV_MAPSERVER_LISTEN:-127.0.0.1}
# The address this machine reaches it at.
local_address=$listen
[ "$listen" = 0.0.0.0 ] && local_address=127.0.0.1
data=${KIV_MAPDATA:-${XDG_CACHE_HOME:-$HOME/.cache}/kiv-mapdata}
imports=${KIV_MAPIMPORTS:-$data/imports}
cmd=${1:-}
# The router the server runs for route requests: installed beside kiv.
kivroute=${KIV_ROUTE:-$(command -v kivroute || true)}
run=${2:-${TMPDIR:-/tmp}/kiv-mapserver}
. "$here/osm_import.sh"
. "$here/route_data.sh"

# The data version build_data.py writes to READY; an older cache is rebuilt
# in place (a running server keeps working: the files are replaced whole).
data_version=4
data_ready() { [ "$(cat "$data/READY" 2>/dev/null)" = "$data_version" ]; }
# The world layers (for Web Mercator sheets) have a version of their own.
world_version=6
world_ready() { [ "$(cat "$data/READY_WORLD" 2>/dev/null)" = "$world_version" ]; }

build_data() {
  if ! data_ready || ! world_ready; then
    echo "Building the map data into $data (about a minute, once)..." >&2
    mkdir -p "$data"
    # One builder at a time; the others wait for it.
    exec 9>"$data.lock"
    flock 9
    # Run inside the cache: GMT leaves a gmt.history in the current folder.
    data=$(cd "$data" && pwd)
    data_ready || (cd "$data" && python3 "$here/build_data.py" "$data" >&2)
    world_ready || (cd "$data" && python3 "$here/build_data.py" "$data" world >&2)
    flock -u 9
  fi
}

# 8080, the program's default map server address, when it is free; else the
# port this run folder had last, so Kiv keeps finding the sheets it stored
# for that address; else any free port.
free_port() {
  python3 -c '
import socket, sys
last = sys.argv[1]
for port in (8080, int(last) if last.isdigit() and int(last) < 65536 else 0, 0):
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    try:
        s.bind(("127.0.0.1", port))
    except OSError:
        continue
    print(s.getsockname()[1])
    break' "$(cat "$run/port" 2>/dev/null || true)"
}

fill() {  # fill TEMPLATE OUT ESCAPE: ESCAPE (ms_text, lighttpd_text) writes a path in OUT's strings
  local e=$3
  sed -e "s|@HERE@|$(sed_text "$($e "$here")")|g" -e "s|@DATA@|$(sed_text "$($e "$data")")|g" \
      -e "s|@RUN@|$(sed_text "$($e "$run")")|g" -e "s|@TMP@|$(sed_text "$($e "$run/tmp")")|g" \
      -e "s|@PORT@|${port:-0}|g" -e "s|@LISTEN@|$(sed_text "$listen")|g" -e "s|@IMPORTS@|$(sed_text "$($e "$imports")")|g" "$1" > "$2"
}

# The pid of this run folder's lighttpd, if it runs; a stale pid file may
# name another process since.
own_lighttpd() {
  local pid
  pid=$(cat "$run/lighttpd.pid" 2>/dev/null) || return 1
  case "$pid" in ""|*[!0-9]*) return 1 ;; esac
  tr '\0' '\n' < "/proc/$pid/cmdline" 2>/dev/null | grep -qxF "$run/lighttpd.conf" || return 1
  echo "$pid"
}

# Ends this run folder's lighttpd, if it runs, and waits until it is gone:
# stopped means gone, for a caller that starts another server on the same
# folder or port at once. One that has not ended ten seconds after being
# asked is killed; fails, saying so, when even that leaves it running.
stop_own_lighttpd() {
  local pid signal
  pid=$(own_lighttpd) || return 0
  for signal in TERM KILL; do
    kill -s "$signal" "$pid" 2>/dev/null || true
    for _ in $(seq 100); do
      kill -0 "$pid" 2>/dev/null || return 0
      sleep 0.1
    done
  done
  echo "kiv-mapserver: lighttpd (process $pid) of $run does not end" >&2
  return 1
}

usage() {
  echo "usage: kiv-mapserver start [RUN_DIR] [PORT] | stop [RUN_DIR] | data |" \
       "import FILE [NAME] [--replace] | list | remove NAME | routes |" \
       "search TEXT [--near LAT,LON] [--limit N] [RUN_DIR] | --help | --version"
}

case "$cmd" in
  --help|-h)
    usage
    echo "Starts and stops the local map server (MapServer behind lighttpd on 127.0.0.1)."
    echo "KIV_MAPDATA names the data cache (default ~/.cache/kiv-mapdata), KIV_MAPIMPORTS"
    echo "the folder of the OpenStreetMap imports (default \$KIV_MAPDATA/imports)."
    echo "KIV_MAPSERVER_LISTEN is the address to listen on (default 127.0.0.1; 0.0.0.0 serves"
    echo "other machines too, e.g. a club or fleet server)."
    exit 0
    ;;
  --version|-V)
    # Installed, the build wrote the version beside the script.
    if [ -f "$here/VERSION" ]; then
      echo "kiv-mapserver $(cat "$here/VERSION")"
    else
      echo "kiv-mapserver $(sed -n 's/^project(kiv VERSION \([0-9.]*\).*/\1/p' "$here/../CMakeLists.txt")"
    fi
    exit 0
    ;;
  data)
    build_data
    ;;
  start)
    build_data
    mkdir -p "$run/www" "$run/tmp"
    # Whole paths: lighttpd would take a relative log file name starting
    # with | for a command.
    run=$(cd "$run" && pwd)
    imports=$(mkdir -p "$imports" && cd "$imports" && pwd)
    for f in "program folder|$here" "map data folder|$data" "server folder|$run" "imports folder|$imports"; do
      usable_path "${f%%|*}" "${f#*|}" || exit 1
    done
    clean_staging
    if routes_stale; then
      echo "The routing database was not built by this Routino ($(routino_version)): building it again..." >&2
      (routes_command >&2) || true
    fi
    lock_imports set
    refresh_imports
    exec 8>&-
    # The map files include the layers of the imports through a link beside
    # them: MapServer reads an INCLUDE's file name without escapes.
    ln -sfn "$imports" "$run/imports.link"
    # The CGI and the WMS forms of the one map file (see its head).
    fill "$here/toporama.map.in" "$run/map.tmp" ms_text
    grep -v '^ *METADATA "wms_layer_group"' "$run/map.tmp" > "$run/toporama.map"
    # The CGI request for Web Mercator sheets names toporama_3857.map.
    sed 's|"init=epsg:3978"  # the sheets. plane|"init=epsg:3857"|' "$run/toporama.map" > "$run/toporama_3857.map"
    grep -v '^ *GROUP ' "$run/map.tmp" | sed 's|/osm_layers_cgi\.map"|/osm_layers_wms.map"|' > "$run/wms.map"
    # And each without the imports, for sheets that no import meets.
    for m in toporama toporama_3857 wms; do
      grep -v '^ *INCLUDE ".*/osm_layers_[a-z]*\.map"$' "$run/$m.map" > "$run/${m}_bare.map"
    done
    rm -f "$run/map.tmp"
    fill "$here/mapserver.conf.in" "$run/mapserver.conf" ms_text
    rm -f "$run/mapserv.cgi"
    # Route requests run the router through this link (see lighttpd.conf.in).
    if [ -n "$kivroute" ]; then ln -sfn "$(readlink -f "$kivroute")" "$run/kivroute"; else rm -f "$run/kivroute"; fi
    echo "Kiv local map server" > "$run/www/index.html"
    stop_own_lighttpd || exit 1
    # Another server may take the chosen port first: then try another one.
    for attempt in 1 2 3; do
      port=${3:-$(free_port)}
      [ "$attempt" -gt 1 ] && [ -z "${3:-}" ] && port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
      fill "$here/lighttpd.conf.in" "$run/lighttpd.conf" lighttpd_text
      rm -f "$run/lighttpd.pid"
      if lighttpd -f "$run/lighttpd.conf" 2>>"$run/error.log"; then
        for _ in $(seq 50); do
          if [ -s "$run/lighttpd.pid" ] && kill -0 "$(cat "$run/lighttpd.pid")" 2>/dev/null &&
             curl -s -o /dev/null "http://$local_address:$port/"; then
            echo "$port" > "$run/port"
            echo "http://$local_address:$port"
            exit 0
          fi
          sleep 0.1
        done
      fi
      # One that came up but does not answer is not left running.
      stop_own_lighttpd || true
      [ -n "${3:-}" ] && break
    done
    echo "kiv-mapserver: lighttpd did not start (see $run/error.log)" >&2
    exit 1
    ;;
  stop)
    run=$(cd "$run" 2>/dev/null && pwd || echo "$run")
    stop_own_lighttpd || exit 1
    rm -f "$run/lighttpd.pid"
    ;;
  import)
    shift
    replace=
    args=()
    for a in "$@"; do
      if [ "$a" = --replace ]; then replace=$a; else args+=("$a"); fi
    done
    [ ${#args[@]} -ge 1 ] && [ ${#args[@]} -le 2 ] ||
      { echo "usage: kiv-mapserver.sh import FILE.osm.pbf|FILE.osm|FILE.osm.bz2|FILE.osm.gz [NAME] [--replace]" >&2; exit 2; }
    mkdir -p "$imports"
    imports=$(cd "$imports" && pwd)
    usable_path "imports folder" "$imports" || exit 1
    import_osm "${args[0]}" "${args[1]:-}" "$replace"
    ;;
  list)
    list_imports
    ;;
  remove)
    [ $# -eq 2 ] || { echo "usage: kiv-mapserver.sh remove NAME" >&2; exit 2; }
    imports=$(cd "$imports" 2>/dev/null && pwd) || { echo "kiv-mapserver: no imports" >&2; exit 1; }
    remove_import "$2"
    ;;
  routes)
    routes_command
    ;;
  search)
    # The same search as the running server's (/search?q=TEXT&near=LAT,LON&limit=N).
    shift
    text= near= limit=20 have_text=
    while [ $# -gt 0 ]; do
      case "$1" in
        --near) [ $# -ge 2 ] || { echo "kiv-mapserver: --near takes LAT,LON" >&2; exit 1; }; near=$2; shift 2 ;;
        --limit) [ $# -ge 2 ] || { echo "kiv-mapserver: --limit takes a number" >&2; exit 1; }; limit=$2; shift 2 ;;
        *) if [ -z "$have_text" ]; then text=$1 have_text=1; else run=$1; fi; shift ;;
      esac
    done
    [ -n "$have_text" ] || { usage >&2; exit 1; }
    case "$limit" in
      ""|*[!0-9]*) echo "kiv-mapserver: --limit takes a whole number: $limit" >&2; exit 1 ;;
    esac
    build_data
    exec /usr/bin/python3 "$here/place_index.py" search "$imports" "$data" "$text" "$near" "$limit"
    ;;
  *)
    usage >&2
    exit 2
    ;;
esac
