#!/bin/sh
# Runs the shared capture checker over every NMEA capture with kivdump.
# usage: captures_nmea_compare.sh KIVDUMP SHARED_TOOLS_DIR RECEIVERS_DIR
# Exit 77 (skipped) when the captures, the checker or python3 are missing.
kivdump=$1 tools=$2 dir=$3
if [ ! -d "$dir" ] || [ ! -f "$tools/compare_captures.py" ] || ! command -v python3 >/dev/null; then
    echo "receiver captures or checker not present: skipped"
    exit 77
fi
names=
for tsv in "$dir"/*.expected.tsv; do
    name=$(basename "$tsv" .expected.tsv)
    [ -f "$dir/$name.bin" ] || continue
    # NMEA captures: no row comes from a binary packet ("zodiac:1000", "garmin:51").
    awk -F'\t' 'NR > 1 && $3 ~ /:/ { binary = 1 } END { exit binary }' "$tsv" || continue
    names="$names $name"
done
if [ -z "$names" ]; then
    echo "no NMEA captures in $dir: skipped"
    exit 77
fi
exec python3 "$tools/compare_captures.py" "$kivdump" "$dir" --device nmea $names
