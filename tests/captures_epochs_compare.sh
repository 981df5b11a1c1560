#!/bin/sh
# Every position gpsd reported for every NMEA capture (single and multi-GNSS
# talkers) must appear in kivdump's output: the shared checker, held to all
# of them rather than its own 95%.
# usage: captures_epochs_compare.sh KIVDUMP SHARED_TOOLS_DIR RECEIVERS_DIR
# Exit 77 (skipped) when the captures, the checker or python3 are missing.
kivdump=$1 tools=$2 dir=$3
if [ ! -d "$dir" ] || [ ! -f "$tools/compare_epochs.py" ] || ! command -v python3 >/dev/null; then
    echo "receiver captures or compare_epochs.py not present: skipped"
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
out=$(python3 "$tools/compare_epochs.py" "$kivdump" "$dir" $names)
rc=$?
echo "$out"
[ $rc -eq 0 ] || exit 1
# "NAME: positions OK/ALL (exit N)": every capture at 100%.
echo "$out" | awk '/: positions [0-9]+\/[0-9]+ \(exit/ { split($3, n, "/"); if (n[1] != n[2]) bad = 1 } END { exit bad }'
