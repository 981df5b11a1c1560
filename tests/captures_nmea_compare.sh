#!/bin/sh
# Runs a shared capture checker over every NMEA capture with kivdump.
#   captures   compare_captures.py: kivdump's rows against gpsd's
#   epochs     compare_epochs.py: every position gpsd reported (single and
#              multi-GNSS talkers) appears in kivdump's output, held to all
#              of them rather than the checker's own 95%
# usage: captures_nmea_compare.sh captures|epochs KIVDUMP SHARED_TOOLS_DIR RECEIVERS_DIR
# Exit 77 (skipped) when the captures, the checker or python3 are missing.
mode=$1 kivdump=$2 tools=$3 dir=$4
case "$mode" in
    captures) checker="$tools/compare_captures.py" ;;
    epochs) checker="$tools/compare_epochs.py" ;;
    *) echo "usage: $0 captures|epochs KIVDUMP SHARED_TOOLS_DIR RECEIVERS_DIR" >&2; exit 2 ;;
esac
if [ ! -d "$dir" ] || [ ! -f "$checker" ] || ! command -v python3 >/dev/null; then
    echo "receiver captures or $(basename "$checker") not present: skipped"
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
[ "$mode" = captures ] && exec python3 "$checker" "$kivdump" "$dir" --device nmea $names
out=$(python3 "$checker" "$kivdump" "$dir" $names)
rc=$?
echo "$out"
[ $rc -eq 0 ] || exit 1
# "NAME: positions OK/ALL (exit N)": every capture at 100%.
echo "$out" | awk '/: positions [0-9]+\/[0-9]+ \(exit/ { split($3, n, "/"); if (n[1] != n[2]) bad = 1 } END { exit bad }'
