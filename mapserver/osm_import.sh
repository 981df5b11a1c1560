#!/usr/bin/env bash
# Imports an OpenStreetMap extract for the local map server and keeps the
# list of imports (sourced by kiv-mapserver.sh; uses $here, $imports).
#
# Each import is one GeoPackage in EPSG:3978 with the tables the map file
# draws (roads, railways, waterways, water, landcover, buildings, places),
# each with a spatial index. MapServer cannot glob layers at run time, so
# imports.vrt unions every import's tables into one OGR layer per table and
# osm_layers_cgi.map / osm_layers_wms.map (included by the map files) draw
# them; both are rewritten whenever the imports change.

# The tables made from GDAL's OSM layers (points, lines, multipolygons), in
# SQLite SQL over the first-stage GeoPackage: name|geometry type|more
# ogr2ogr options|SQL. OpenStreetMap splits a street into a way per block or
# so, too short to carry its name: road_names joins each named street into
# whole lines, which the names are drawn along.
osm_tables() {
  local rank="CASE WHEN highway IN ('motorway','motorway_link') THEN 1 WHEN highway IN ('trunk','trunk_link') THEN 2 WHEN highway IN ('primary','primary_link') THEN 3 WHEN highway IN ('secondary','secondary_link') THEN 4 WHEN highway IN ('tertiary','tertiary_link') THEN 5 WHEN highway IN ('residential','unclassified','living_street','road') THEN 6 ELSE 7 END"
  cat <<SQL
roads|LINESTRING||SELECT geom, name, ref, $rank AS rank FROM lines WHERE highway IN ('motorway','motorway_link','trunk','trunk_link','primary','primary_link','secondary','secondary_link','tertiary','tertiary_link','residential','unclassified','living_street','road','service','track') ORDER BY rank DESC
road_names|LINESTRING|-explodecollections|SELECT ST_LineMerge(ST_Collect(geom)) AS geom, name, MIN($rank) AS rank FROM lines WHERE name IS NOT NULL AND highway IN ('motorway','trunk','primary','secondary','tertiary','residential','unclassified','living_street','road') GROUP BY name
SQL
  cat <<'SQL'
railways|LINESTRING||SELECT geom, name FROM lines WHERE railway IN ('rail','light_rail','narrow_gauge','preserved')
waterways|LINESTRING||SELECT geom, name, CASE WHEN waterway IN ('river','canal') THEN 1 ELSE 2 END AS rank FROM lines WHERE waterway IN ('river','canal','stream')
water|MULTIPOLYGON||SELECT geom, name FROM multipolygons WHERE "natural" = 'water' OR water IS NOT NULL OR waterway = 'riverbank' OR landuse IN ('reservoir','basin')
landcover|MULTIPOLYGON||SELECT geom, name, CASE WHEN "natural" = 'wetland' THEN 'wetland' WHEN "natural" = 'wood' OR landuse = 'forest' THEN 'wood' WHEN leisure IN ('park','nature_reserve','garden','golf_course') OR landuse IN ('grass','recreation_ground','meadow') THEN 'park' ELSE 'builtup' END AS kind FROM multipolygons WHERE "natural" IN ('wetland','wood') OR landuse IN ('forest','grass','recreation_ground','meadow','residential','commercial','industrial','retail') OR leisure IN ('park','nature_reserve','garden','golf_course')
buildings|MULTIPOLYGON||SELECT geom FROM multipolygons WHERE building IS NOT NULL
places|POINT||SELECT geom, name, CAST(population AS INTEGER) AS population, CASE place WHEN 'city' THEN 1 WHEN 'town' THEN 2 WHEN 'village' THEN 3 ELSE 4 END AS rank FROM points WHERE place IN ('city','town','village','hamlet','suburb') AND name IS NOT NULL
SQL
}

human_size() {
  numfmt --to=iec --suffix=B "$1" 2>/dev/null || echo "$1 bytes"
}

import_osm() {  # import_osm FILE [NAME]
  local file=$1 name=${2:-}
  if [ ! -r "$file" ]; then
    echo "kiv-mapserver: cannot read $file" >&2
    return 1
  fi
  if [ -z "$name" ]; then
    name=$(basename "$file")
    name=${name%%.*}
  fi
  case "$name" in
    ""|*[!A-Za-z0-9_-]*) echo "kiv-mapserver: import names use letters, digits, - and _ only: $name" >&2; return 1 ;;
  esac
  mkdir -p "$imports"
  local start=$SECONDS stage="$imports/.$name.stage.gpkg" out="$imports/.$name.new.gpkg"
  rm -f "$stage" "$out"
  echo "Reading $file ($(human_size "$(stat -c %s "$file")"))..."
  if ! OSM_CONFIG_FILE="$here/osmconf.ini" OSM_MAX_TMPFILE_SIZE=1024 \
       ogr2ogr -f GPKG "$stage" "$file" -progress -gt 65536 -lco SPATIAL_INDEX=NO \
       points lines multipolygons; then
    rm -f "$stage"
    echo "kiv-mapserver: ogr2ogr could not read $file" >&2
    return 1
  fi
  local table type opts sql update=()
  while IFS='|' read -r table type opts sql; do
    echo "Writing $table..."
    # shellcheck disable=SC2086  # opts holds whole options
    if ! ogr2ogr -f GPKG "${update[@]}" "$out" "$stage" -dialect SQLite -sql "$sql" -nln "$table" \
         -nlt "$type" $opts -s_srs EPSG:4326 -t_srs EPSG:3978 -lco SPATIAL_INDEX=YES; then
      rm -f "$stage" "$out"
      echo "kiv-mapserver: could not make the $table table" >&2
      return 1
    fi
    update=(-update)
  done < <(osm_tables)
  rm -f "$stage"
  mv -f "$out" "$imports/$name.gpkg"
  refresh_imports
  echo "Imported $name in $((SECONDS - start)) s: $(human_size "$(stat -c %s "$imports/$name.gpkg")") in $imports/$name.gpkg"
}

list_imports() {
  local f
  for f in "$imports"/*.gpkg; do
    [ -e "$f" ] || continue
    printf '%s\t%s\t%s\n' "$(basename "$f" .gpkg)" "$(human_size "$(stat -c %s "$f")")" "$(date -r "$f" '+%Y-%m-%d %H:%M')"
  done
}

remove_import() {
  if [ ! -f "$imports/$1.gpkg" ]; then
    echo "kiv-mapserver: no import named $1" >&2
    return 1
  fi
  rm -f "$imports/$1.gpkg"
  refresh_imports
  echo "Removed $1"
}

# Rewrites imports.vrt and the two layer files the map files include.
refresh_imports() {
  mkdir -p "$imports"
  local f table type opts sql gpkgs=()
  for f in "$imports"/*.gpkg; do
    [ -e "$f" ] && gpkgs+=("$f")
  done
  if [ ${#gpkgs[@]} -eq 0 ]; then
    rm -f "$imports/imports.vrt"
    echo "# No OpenStreetMap imports." > "$imports/osm_layers_cgi.map.new"
    cp "$imports/osm_layers_cgi.map.new" "$imports/osm_layers_wms.map.new"
  else
    {
      echo "<OGRVRTDataSource>"
      while IFS='|' read -r table type opts sql; do
        echo "  <OGRVRTUnionLayer name=\"$table\">"
        for f in "${gpkgs[@]}"; do
          echo "    <OGRVRTLayer name=\"$table\"><SrcDataSource shared=\"1\">$f</SrcDataSource><SrcLayer>$table</SrcLayer></OGRVRTLayer>"
        done
        echo "  </OGRVRTUnionLayer>"
      done < <(osm_tables)
      echo "</OGRVRTDataSource>"
    } > "$imports/imports.vrt.new"
    mv -f "$imports/imports.vrt.new" "$imports/imports.vrt"
    sed -e "s|@IMPORTS@|$imports|g" -e "s|@HERE@|$here|g" "$here/osm_layers.map.in" > "$imports/osm_layers.tmp"
    grep -v '^ *METADATA "wms_layer_group"' "$imports/osm_layers.tmp" > "$imports/osm_layers_cgi.map.new"
    grep -v '^ *GROUP ' "$imports/osm_layers.tmp" > "$imports/osm_layers_wms.map.new"
    rm -f "$imports/osm_layers.tmp"
  fi
  mv -f "$imports/osm_layers_cgi.map.new" "$imports/osm_layers_cgi.map"
  mv -f "$imports/osm_layers_wms.map.new" "$imports/osm_layers_wms.map"
}
