#!/usr/bin/env bash
# Imports an OpenStreetMap extract for the local map server and keeps the
# list of imports (sourced by kiv-mapserver.sh; uses $here, $imports).
#
# Each import is one GeoPackage in EPSG:3978 with the tables the map file
# draws (roads, railways, waterways, water, landcover, buildings, places),
# each with a spatial index. MapServer cannot glob layers at run time, so
# a union file (in .sets, see import_index.py) puts the tables of a set of
# imports into one OGR layer per table and osm_layers_cgi.map /
# osm_layers_wms.map (included by the map files) draw them; these and the
# extent index imports.index are rewritten whenever the imports change. An
# import is built in a hidden .staging.* folder and moved in whole;
# NAME.gpkg files that are not whole imports are left out.

# The tables made from GDAL's OSM layers (points, lines, multipolygons), in
# SQLite SQL over the first-stage GeoPackage: name|geometry type|fields
# (NAME:String or NAME:Integer)|more ogr2ogr options|SQL. Each table is made
# with its fields first and the rows added to it: GDAL takes the type of a
# computed column from the first row, so a table with no rows (an extract
# without roads) would get text columns that the map file's filters, such
# as [rank] <= 3, cannot compare. OpenStreetMap splits a street into a way per block or
# so, too short to carry its name: road_names joins each named street into
# whole lines, which the names are drawn along (road_refs likewise for the
# road numbers). routes are the hiking routes (relations), drawn by their
# numbers (E5). Bridges, tunnels and one-way roads are copied into
# road_marks, so that drawing them never reads every road again. A computed geometry is only
# recognised as one when there are rows: -select keeps an empty result from
# coming with a second, text geom column.
osm_tables() {
  local rank="CASE WHEN highway IN ('motorway','motorway_link') THEN 1 WHEN highway IN ('trunk','trunk_link') THEN 2 WHEN highway IN ('primary','primary_link') THEN 3 WHEN highway IN ('secondary','secondary_link') THEN 4 WHEN highway IN ('tertiary','tertiary_link') THEN 5 WHEN highway IN ('residential','unclassified','living_street','road') THEN 6 ELSE 7 END"
  cat <<SQL
roads|LINESTRING|name:String ref:String rank:Integer||SELECT geom, name, ref, $rank AS rank FROM lines WHERE highway IN ('motorway','motorway_link','trunk','trunk_link','primary','primary_link','secondary','secondary_link','tertiary','tertiary_link','residential','unclassified','living_street','road','service') ORDER BY rank DESC
road_marks|LINESTRING|rank:Integer bridge:Integer tunnel:Integer oneway:Integer||SELECT geom, $rank AS rank, CASE WHEN bridge IN ('yes','viaduct','true','1') THEN 1 ELSE 0 END AS bridge, CASE WHEN tunnel IN ('yes','true','1') THEN 1 ELSE 0 END AS tunnel, CASE WHEN oneway IN ('yes','true','1') THEN 1 WHEN oneway = '-1' THEN -1 ELSE 0 END AS oneway FROM lines WHERE highway IN ('motorway','motorway_link','trunk','trunk_link','primary','primary_link','secondary','secondary_link','tertiary','tertiary_link','residential','unclassified','living_street','road','service') AND (bridge IN ('yes','viaduct','true','1') OR tunnel IN ('yes','true','1') OR oneway IN ('yes','true','1','-1'))
road_refs|LINESTRING|ref:String rank:Integer|-explodecollections|SELECT ST_LineMerge(ST_Collect(geom)) AS geom, ref, MIN($rank) AS rank FROM lines WHERE ref IS NOT NULL AND highway IN ('motorway','trunk','primary','secondary','tertiary') GROUP BY ref
road_names|LINESTRING|name:String rank:Integer|-explodecollections|SELECT ST_LineMerge(ST_Collect(geom)) AS geom, name, MIN($rank) AS rank FROM lines WHERE name IS NOT NULL AND highway IN ('motorway','trunk','primary','secondary','tertiary','residential','unclassified','living_street','road') GROUP BY name
SQL
  cat <<'SQL'
railways|LINESTRING|name:String||SELECT geom, name FROM lines WHERE railway IN ('rail','light_rail','narrow_gauge','preserved','subway','tram')
waterways|LINESTRING|name:String rank:Integer||SELECT geom, name, CASE WHEN waterway IN ('river','canal') THEN 1 ELSE 2 END AS rank FROM lines WHERE waterway IN ('river','canal','stream')
water|MULTIPOLYGON|name:String||SELECT geom, name FROM multipolygons WHERE "natural" = 'water' OR water IS NOT NULL OR waterway = 'riverbank' OR landuse IN ('reservoir','basin')
landcover|MULTIPOLYGON|name:String kind:String||SELECT geom, name, CASE WHEN "natural" = 'wetland' THEN 'wetland' WHEN "natural" = 'wood' OR landuse = 'forest' THEN 'wood' WHEN leisure IN ('park','nature_reserve','garden','golf_course') OR landuse IN ('grass','recreation_ground','meadow') THEN 'park' ELSE 'builtup' END AS kind FROM multipolygons WHERE "natural" IN ('wetland','wood') OR landuse IN ('forest','grass','recreation_ground','meadow','residential','commercial','industrial','retail') OR leisure IN ('park','nature_reserve','garden','golf_course')
buildings|MULTIPOLYGON|||SELECT geom FROM multipolygons WHERE building IS NOT NULL
places|POINT|name:String population:Integer rank:Integer||SELECT geom, name, CAST(population AS INTEGER) AS population, CASE place WHEN 'city' THEN 1 WHEN 'town' THEN 2 WHEN 'village' THEN 3 ELSE 4 END AS rank FROM points WHERE place IN ('city','town','village','hamlet','suburb') AND name IS NOT NULL
paths|LINESTRING|name:String kind:String||SELECT geom, name, CASE WHEN highway IN ('track','cycleway','bridleway') THEN highway ELSE 'footway' END AS kind FROM lines WHERE highway IN ('footway','path','steps','cycleway','bridleway','track')
pois|POINT|name:String ele:Integer kind:String||SELECT geom, name, CAST(ele AS INTEGER) AS ele, CASE WHEN "natural" = 'peak' THEN 'peak' WHEN "natural" = 'bay' THEN 'bay' WHEN tourism = 'viewpoint' THEN 'viewpoint' WHEN tourism = 'camp_site' THEN 'camp' WHEN amenity = 'parking' THEN 'parking' WHEN railway IN ('station','halt') THEN 'station' ELSE 'shelter' END AS kind FROM points WHERE "natural" IN ('peak','bay') OR tourism IN ('viewpoint','camp_site','alpine_hut','wilderness_hut') OR amenity IN ('parking','shelter') OR (railway IN ('station','halt') AND name IS NOT NULL) UNION ALL SELECT ST_PointOnSurface(geom) AS geom, name, NULL AS ele, CASE WHEN "natural" = 'peak' THEN 'peak' WHEN "natural" = 'bay' THEN 'bay' WHEN tourism = 'viewpoint' THEN 'viewpoint' WHEN tourism = 'camp_site' THEN 'camp' WHEN amenity = 'parking' THEN 'parking' ELSE 'shelter' END AS kind FROM multipolygons WHERE "natural" IN ('peak','bay') OR tourism IN ('viewpoint','camp_site','alpine_hut','wilderness_hut') OR amenity IN ('parking','shelter')
routes|LINESTRING|ref:String name:String|-explodecollections|SELECT geom, ref, name FROM multilinestrings WHERE type = 'route' AND route IN ('hiking','foot','walking') AND ref IS NOT NULL
SQL
}

human_size() {
  numfmt --to=iec --suffix=B "$1" 2>/dev/null || echo "$1 bytes"
}

# A sed replacement text that stands for itself (paths may hold & or |).
sed_text() {
  printf '%s' "$1" | sed -e 's/[\\|&]/\\&/g'
}

# A path as the text of a quoted string in a MapServer map or config file,
# where \ escapes \, " and '.
ms_text() {
  printf '%s' "$1" | sed -e 's/[\\"]/\\&/g'
}

# A path as the text of a quoted string in lighttpd's configuration, where
# \ escapes only a " after it (so the templates never end a string with a
# path, which might end with a \).
lighttpd_text() {
  printf '%s' "$1" | sed -e 's/"/\\"/g'
}

# Refuses a folder whose name holds a control character (a tab or a
# newline): the server's files hold paths in lines and tab-separated fields.
usable_path() {  # usable_path WHAT PATH
  local c
  case "$2" in
    *$'\n'*) c="a newline" ;;
    *$'\t'*) c="a tab" ;;
    *[[:cntrl:]]*) c="a control character" ;;
    *) return 0 ;;
  esac
  echo "kiv-mapserver: the $1 $(printf '%q' "$2") has $c in its name, which the map server's files cannot hold: use another folder" >&2
  return 1
}

# Import names are letters, digits, - and _ only, so that a name always
# stands for one file inside the imports folder (import, list and remove).
valid_name() {
  case "$1" in
    ""|*[!A-Za-z0-9_-]*) echo "kiv-mapserver: import names use letters, digits, - and _ only: $1" >&2; return 1 ;;
  esac
}

# Locks, held until the script exits: .import.lock for a whole import (one
# at a time, so staging folders left without that lock are stale), .lock
# for a change of the set of imports the server sees.
lock_imports() {  # lock_imports import|set
  mkdir -p "$imports"
  if [ "$1" = import ]; then
    exec 7>"$imports/.import.lock"
    flock -n 7 || { echo "Waiting for another import to finish..." >&2; flock 7; }
    rm -rf "$imports"/.staging.*
  else
    exec 8>"$imports/.lock"
    flock 8
  fi
}

# Stale staging folders of an interrupted import, when no import runs.
clean_staging() {
  mkdir -p "$imports"
  (flock -n 7 && rm -rf "$imports"/.staging.*) 7>"$imports/.import.lock" || true
}

# Why ogr2ogr did not read the whole of FILE, from its messages in LOG.
read_failure() {  # read_failure LOG FILE
  local detail
  detail=$(grep -m 1 -i 'error\|bzip2:\|gzip:' "$1" | sed 's/^ERROR [0-9]*: //')
  # On a full disk the log itself may be cut: the free space tells too.
  if grep -qi 'no space left\|disk is full\|disk full' "$1" ||
     [ "$(df -P -k "$imports" | awk 'NR == 2 { print $4 }')" -lt 1024 ]; then
    echo "the disk is full ($(df -h --output=avail "$imports" | tail -n 1 | tr -d ' ') free in $imports)"
  elif grep -qi 'non increasing node id\|cannot read node\|not sorted' "$1"; then
    echo "$2 is not sorted (nodes, then ways, then relations, each by id): sort it with \`osmium sort $2 -o sorted.osm.pbf\` and import that"
  elif grep -qi 'ends unexpectedly\|unexpected end' "$1"; then
    echo "$2 is cut short, the file is truncated"
  elif grep -q 'Unable to open datasource\|not a bzip2 file\|not in gzip format' "$1"; then
    echo "$2 is not an OpenStreetMap extract"
  else
    echo "$2 is cut short or damaged, the file may be truncated ($detail)"
  fi
}

# Runs ogr2ogr with its messages kept in LOG; fails on any
# error GDAL reports, since some leave out data and still exit 0.
ogr2ogr_whole() {  # ogr2ogr_whole LOG ARGS...
  local log=$1
  shift
  ogr2ogr "$@" 2>>"$log" && ! grep -qi '^ERROR\|^bzip2:\|^gzip:' "$log"
}

# Makes the tables of osm_tables (read on stdin) in the GeoPackage OUT,
# empty, with their declared fields and geometry in EPSG:3978 (create); or
# gives each its spatial index once its rows are in (index), which is
# quicker than keeping the index up to date row by row (with the system's
# Python, which has GDAL's bindings, as the server's worker).
import_tables() {  # import_tables create|index OUT
  /usr/bin/python3 - "$1" "$2" "$(cat)" <<'PY'
import sys
from osgeo import ogr, osr
ogr.UseExceptions()
step, out = sys.argv[1], sys.argv[2]
tables = [line.split("|")[:3] for line in sys.argv[3].splitlines() if line.strip()]
if step == "create":
    ds = ogr.GetDriverByName("GPKG").CreateDataSource(out)
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(3978)
    geometry = {"POINT": ogr.wkbPoint, "LINESTRING": ogr.wkbLineString, "MULTIPOLYGON": ogr.wkbMultiPolygon}
    kinds = {"String": ogr.OFTString, "Integer": ogr.OFTInteger}
    for name, kind, fields in tables:
        layer = ds.CreateLayer(name, srs, geometry[kind], ["SPATIAL_INDEX=NO", "GEOMETRY_NAME=geom"])
        for field in fields.split():
            n, t = field.split(":")
            layer.CreateField(ogr.FieldDefn(n, kinds[t]))
else:
    ds = ogr.Open(out, 1)
    for name, _, _ in tables:
        ds.ExecuteSQL("SELECT CreateSpatialIndex('%s', 'geom')" % name)
ds = None
PY
}

import_osm() {  # import_osm FILE [NAME] [--replace]
  local file=$1 name=${2:-} replace=${3:-}
  if [ ! -r "$file" ]; then
    echo "kiv-mapserver: cannot read $file" >&2
    return 1
  fi
  if [ -z "$name" ]; then
    name=$(basename "$file")
    name=${name%%.*}
  fi
  valid_name "$name" || return 1
  # Compressed XML is unpacked into the staging folder first: the OSM
  # driver seeks back in it, and the unpacker says when it is cut short.
  local unpack=()
  case "$file" in
    *.osm|*.pbf) ;;
    *.osm.gz) unpack=(gzip -dc -- "$file") ;;
    *.osm.bz2) unpack=(bzip2 -dc -- "$file") ;;
    *) echo "kiv-mapserver: $file: imports read .osm, .osm.pbf, .osm.gz and .osm.bz2 extracts" >&2; return 1 ;;
  esac
  lock_imports import
  if [ -e "$imports/$name.gpkg" ] && [ "$replace" != --replace ]; then
    echo "kiv-mapserver: there is an import named $name: add --replace to replace it" >&2
    return 1
  fi
  local start=$SECONDS staging
  staging=$(mktemp -d "$imports/.staging.XXXXXX")
  # An interrupted import leaves nothing behind.
  import_staging=$staging
  trap 'rm -rf "$import_staging"' EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  local stage="$staging/stage.gpkg" out="$staging/$name.gpkg" log="$staging/gdal.log" src=$file
  : > "$log"
  if [ ${#unpack[@]} -gt 0 ]; then
    echo "Unpacking $file ($(human_size "$(stat -c %s "$file")"))..."
    src="$staging/extract.osm"
    "${unpack[@]}" > "$src" 2>>"$log" || echo "${unpack[0]}: failed" >> "$log"
  fi
  echo "Reading $file ($(human_size "$(stat -c %s "$src")"))..."
  if grep -q '^bzip2:\|^gzip:' "$log" ||
     ! OSM_CONFIG_FILE="$here/osmconf.ini" OSM_MAX_TMPFILE_SIZE=1024 CPL_TMPDIR="$staging" \
       ogr2ogr_whole "$log" -f GPKG "$stage" "$src" -progress -gt 65536 -lco SPATIAL_INDEX=NO \
       points lines multipolygons multilinestrings; then
    echo "kiv-mapserver: nothing imported: $(read_failure "$log" "$file")" >&2
    return 1
  fi
  if ! osm_tables | import_tables create "$out" 2>>"$log"; then
    echo "kiv-mapserver: nothing imported: could not make the tables: $(read_failure "$log" "$file")" >&2
    return 1
  fi
  local table type fields opts sql
  while IFS='|' read -r table type fields opts sql; do
    echo "Writing $table..."
    # shellcheck disable=SC2086  # opts holds whole options
    if ! ogr2ogr_whole "$log" -append "$out" "$stage" -dialect SQLite -sql "$sql" -nln "$table" \
         -nlt "$type" $opts -s_srs EPSG:4326 -t_srs EPSG:3978; then
      echo "kiv-mapserver: nothing imported: could not make the $table table: $(read_failure "$log" "$file")" >&2
      return 1
    fi
  done < <(osm_tables)
  echo "Indexing..."
  if ! osm_tables | import_tables index "$out" 2>>"$log"; then
    echo "kiv-mapserver: nothing imported: could not index the tables: $(read_failure "$log" "$file")" >&2
    return 1
  fi
  # The search index, in a file of its own beside the import (written
  # after the GeoPackage, so that it is never older than the one it indexes).
  echo "Indexing the names..."
  if ! /usr/bin/python3 "$here/place_index.py" build "$out" 2>>"$log"; then
    echo "kiv-mapserver: nothing imported: could not index the names: $(read_failure "$log" "$file")" >&2
    return 1
  fi
  # Routing: the roads kept beside the import, and the database over all
  # imports built before the import is moved in (see route_data.sh).
  local routes_built=0
  if ! command -v osmium >/dev/null 2>&1; then
    echo "kiv-mapserver: no routing over this import: osmium is not installed (Debian package osmium-tool)" >&2
  else
    echo "Keeping the roads for routing..."
    if ! keep_roads "$src" "$staging/$name.roads.osm.pbf" "$log"; then
      echo "kiv-mapserver: nothing imported: could not keep the roads for routing: $(tail -n 1 "$log")" >&2
      return 1
    fi
    rebuild_routes "$staging" "$name" "$staging/$name.roads.osm.pbf" && routes_built=1
  fi
  lock_imports set
  local verb=Imported
  [ -e "$imports/$name.gpkg" ] && verb="Replaced the import"
  mv -f "$staging/$name.places" "$imports/$name.places"
  mv -f "$out" "$imports/$name.gpkg"
  if [ -e "$staging/$name.roads.osm.pbf" ]; then
    mv -f "$staging/$name.roads.osm.pbf" "$imports/$name.roads.osm.pbf"
  else
    rm -f "$imports/$name.roads.osm.pbf"
  fi
  refresh_imports
  echo "$verb $name in $((SECONDS - start)) s: $(human_size "$(stat -c %s "$imports/$name.gpkg")") in $imports/$name.gpkg"
  [ "$routes_built" = 1 ] && echo "The routing database took $routes_seconds s of it"
  return 0
}

# The tables every import has; imports made before a later table was
# added are drawn without it.
core_tables="roads road_names railways waterways water landcover buildings places"

# Prints the imports that are whole Kiv imports (every core table there),
# one a line: the path, a tab, the tables it has, separated by spaces, a tab
# and its extent (MINX MINY MAXX MAXY, as GDAL recorded it for each table;
# unbounded when a table with rows has none); warns on stderr about any
# other .gpkg in the folder.
whole_imports() {
  local f gpkgs=()
  for f in "$imports"/*.gpkg; do
    [ -e "$f" ] && gpkgs+=("$f")
  done
  [ ${#gpkgs[@]} -gt 0 ] || return 0
  python3 - "$core_tables" "$(osm_tables | cut -d'|' -f1 | tr '\n' ' ')" "${gpkgs[@]}" <<'PY'
import os, sqlite3, sys, urllib.parse
core, tables = set(sys.argv[1].split()), set(sys.argv[2].split())
for f in sys.argv[3:]:
    have = set()
    try:
        db = sqlite3.connect("file:" + urllib.parse.quote(f) + "?mode=ro", uri=True)
        have = {r[0] for r in db.execute("SELECT table_name FROM gpkg_contents")}
        have &= {r[0] for r in db.execute("SELECT name FROM sqlite_master WHERE type = 'table'")}
        boxes = []
        for t in sorted(have & tables):
            box = db.execute("SELECT min_x, min_y, max_x, max_y FROM gpkg_contents WHERE table_name = ?", (t,)).fetchone()
            if None not in box:
                boxes.append(box)
            elif db.execute('SELECT 1 FROM "%s" LIMIT 1' % t).fetchone():
                boxes.append((-1e300, -1e300, 1e300, 1e300))
        db.close()
        extent = [min(b[0] for b in boxes), min(b[1] for b in boxes), max(b[2] for b in boxes),
                  max(b[3] for b in boxes)] if boxes else [0, 0, 0, 0]
        missing = sorted(core - have)
        why = "it lacks the tables " + ", ".join(missing) + " (import it again)" if missing else ""
    except sqlite3.Error as e:
        why = "it is not a GeoPackage (%s)" % e
    if why:
        sys.stderr.write("kiv-mapserver: skipping %s: not a whole Kiv import: %s\n" % (os.path.basename(f), why))
    else:
        print("%s\t%s\t%s" % (f, " ".join(sorted(have & tables)), " ".join(map(repr, extent))))
PY
}

list_imports() {
  local f
  [ -d "$imports" ] || return 0
  while IFS=$'\t' read -r f _; do
    printf '%s\t%s\t%s\n' "$(basename "$f" .gpkg)" "$(human_size "$(stat -c %s "$f")")" "$(date -r "$f" '+%Y-%m-%d %H:%M')"
  done < <(whole_imports)
}

remove_import() {
  valid_name "$1" || return 1
  # The routing database is built again without it, one build at a time.
  lock_imports import
  lock_imports set
  if [ ! -f "$imports/$1.gpkg" ]; then
    echo "kiv-mapserver: no import named $1" >&2
    return 1
  fi
  # Its space is freed before anything is written, so that a remove works
  # on a full disk: the file is emptied, which frees its blocks even while
  # the server's workers hold it open, and its link in .live goes with it
  # (a request drawing it just now may fail; the next one no longer
  # chooses it).
  local f="$imports/$1.gpkg"
  truncate -s 0 "$f" 2>/dev/null || true
  rm -f "$imports/.live/$(stat -c %i "$f").gpkg" "$f" "$imports/$1.roads.osm.pbf" "$imports/$1.places"
  refresh_imports
  echo "Removed $1"
  exec 8>&-
  local staging
  if ! staging=$(mktemp -d "$imports/.staging.XXXXXX" 2>&1); then
    echo "kiv-mapserver: the routing database was not rebuilt, the last one is kept: $staging" >&2
    return 0
  fi
  import_staging=$staging
  trap 'rm -rf "$import_staging"' EXIT
  rebuild_routes "$staging" "$1" || true
}

# The tables of osm_tables that no import in imports.index (or FILE) has,
# each with a space before.
tables_missing() {  # tables_missing [FILE]
  local table missing=
  for table in $(osm_tables | cut -d'|' -f1); do
    cut -f3 "${1:-$imports/imports.index}" 2>/dev/null | tr ' ' '\n' | grep -qxF "$table" || missing+=" $table"
  done
  echo "$missing"
}

# Writes the two layer files the map files include, each in one step,
# leaving out the layers of the MISSING tables.
write_layers() {  # write_layers MISSING ALL
  if [ -z "$2" ]; then
    echo "# No OpenStreetMap imports." > "$imports/osm_layers_cgi.map.new"
    cp "$imports/osm_layers_cgi.map.new" "$imports/osm_layers_wms.map.new"
  else
    sed -e "s|@SETS@|$(sed_text "$(ms_text "$imports/.sets")")|g" -e "s|@ALL@|$2|g" "$here/osm_layers.map.in" |
      awk -v missing="$1 " '
        /^  LAYER$/ { block = $0 "\n"; inblock = 1; drop = 0; next }
        inblock {
          block = block $0 "\n"
          if ($0 ~ /^    DATA "[a-z_]+"$/ && index(missing, " " substr($0, 11, length($0) - 11) " ")) drop = 1
          if ($0 == "  END") { if (!drop) printf "%s", block; inblock = 0 }
          next
        }
        { print }' > "$imports/osm_layers.tmp"
    grep -v '^ *METADATA "wms_layer_group"' "$imports/osm_layers.tmp" > "$imports/osm_layers_cgi.map.new"
    grep -v '^ *GROUP ' "$imports/osm_layers.tmp" > "$imports/osm_layers_wms.map.new"
    rm -f "$imports/osm_layers.tmp"
  fi
  mv -f "$imports/osm_layers_cgi.map.new" "$imports/osm_layers_cgi.map"
  mv -f "$imports/osm_layers_wms.map.new" "$imports/osm_layers_wms.map"
}

# Rewrites the extent index of the imports, the union file of all of them
# and the layer files (under the .lock). The index and the union files name
# each import by a hard link in .live named after the file's inode: a
# replaced import has a new name, so that the server's workers, which keep
# a union open between requests, keyed by its name, open the new one; and a
# request that has read an old index may still open the files it names,
# which stay until their links, and the union files that name them, are
# pruned a minute after the change. The union files have the tables of the
# index they were made from, the layer files draw only tables that both the
# old and the new index have until the new index is in place.
refresh_imports() {
  mkdir -p "$imports/.live" "$imports/.sets"
  local f have box link old all
  old=$(tables_missing)
  while IFS=$'\t' read -r f have box; do
    link="$imports/.live/$(stat -c %i "$f").gpkg"
    [ -e "$link" ] || ln "$f" "$link" 2>/dev/null || link=$f
    printf '%s\t%s\t%s\n' "$link" "$box" "$have"
  done < <(whole_imports) > "$imports/imports.index.new"
  find "$imports/.live" -name '*.gpkg' -links 1 -cmin +1 -delete 2>/dev/null || true
  if [ -e "$imports/osm_layers_cgi.map" ]; then
    write_layers "$old $(tables_missing "$imports/imports.index.new")" \
      "$(sed -n 's/.*"default_imports" "\([0-9a-f]*\)".*/\1/p' "$imports/osm_layers_cgi.map" | head -n 1)"
  fi
  mv -f "$imports/imports.index.new" "$imports/imports.index"
  all=$(python3 "$here/import_index.py" "$imports")
  write_layers "$(tables_missing)" "$all"
  # The union files of earlier versions.
  rm -f "$imports"/imports.*.vrt
}
