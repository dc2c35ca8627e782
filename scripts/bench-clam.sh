#!/usr/bin/env bash
# The clam import beside SQLite (lookup then insertion per word, 1024-byte pages, a cache of
# 10 pages, no journal, one transaction), on real English words in the order the import
# meets them, into a new destination and into one that holds every word. Each run is a
# process of its own; ours and the yardstick take turns. Printed: the medians, their ratio,
# and the median of the ratios of the pairs of runs, which a machine's drift moves less.
#
#   scripts/bench-clam.sh [RUNS]        (SIZES="10000 100000 600000" by default)
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-5}
sizes=${SIZES:-"10000 100000 600000"}
words=/usr/share/dict/american-english-insane

missing=()
[ -f "$words" ] || missing+=(wamerican-insane)
[ -f /usr/include/sqlite3.h ] || missing+=(libsqlite3-dev)
if [ ${#missing[@]} -gt 0 ]; then
    apt-get update -qq && apt-get install -y -qq "${missing[@]}"
fi

cmake --preset native >/dev/null
cmake --build --preset native --target wordhaul_bench wordhaul_envs >/dev/null
bench=build/native/tools/wordhaul_bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

median() { sort -g | awk '{v[NR]=$1} END {print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'; }
field() { awk -v k="$1" '{for (i=1; i<NF; i++) if ($i==k) print $(i+1)}'; }

printf '%-8s %-5s %10s %10s %7s %7s %11s %12s %9s %9s\n' words into ours_s sqlite_s ratio \
    pairs reads/word writes/word ours_kb sqlite_kb
for size in $sizes; do
    dir=$work/$size
    $bench clam_compare prepare "$dir" "$words" "$size" >/dev/null
    count=$(wc -l <"$dir/words.txt")
    for into in new full; do
        : >"$work/ours" && : >"$work/sqlite"
        for ((i = 0; i < runs; i++)); do
            $bench clam_compare ours $into "$dir" >>"$work/ours"
            $bench clam_compare sqlite $into "$dir" >>"$work/sqlite"
        done
        ours=$(field seconds <"$work/ours" | median)
        sqlite=$(field seconds <"$work/sqlite" | median)
        pairs=$(paste <(field seconds <"$work/ours") <(field seconds <"$work/sqlite") |
            awk '{print $1 / $2}' | median)
        reads=$(field reads <"$work/ours" | median)
        writes=$(field writes <"$work/ours" | median)
        printf '%-8s %-5s %10.4f %10.4f %6.2fx %6.2fx %11.3f %12.3f %9d %9d\n' "$count" $into \
            "$ours" "$sqlite" "$(awk -v a="$ours" -v b="$sqlite" "BEGIN {print a / b}")" "$pairs" \
            "$(awk -v a="$reads" -v b="$count" "BEGIN {print a / b}")" "$(awk -v a="$writes" -v b="$count" "BEGIN {print a / b}")" \
            "$(field peak_kb <"$work/ours" | median)" "$(field peak_kb <"$work/sqlite" | median)"
    done
done
