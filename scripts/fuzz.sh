#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz) and runs each for a bounded time or number of
# runs, one after another, starting from its seeds in fuzz/corpus/<target>. A run that takes
# longer than the timeout counts as a finding: no input may make the tool loop forever.
#
#   scripts/fuzz.sh [--time SECONDS | --runs COUNT] [--timeout SECONDS] [TARGET...]
#
# The corpus grown by a run stays in build/fuzz/corpus/<target>; findings (crash-*,
# timeout-*, leak-*) land in build/fuzz/findings/<target>. Exit status 1 on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."

limit=(-max_total_time=60)
timeout=10
targets=()
while [ $# -gt 0 ]; do
    case "$1" in
        --time) limit=(-max_total_time="$2"); shift 2 ;;
        --runs) limit=(-runs="$2"); shift 2 ;;
        --timeout) timeout="$2"; shift 2 ;;
        *) targets+=("$1"); shift ;;
    esac
done

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
build=build/fuzz
if [ ${#targets[@]} -eq 0 ]; then
    targets=($(find fuzz -name '*_fuzz.cpp' | sed -e 's|^fuzz/||' -e 's|\.cpp$||' -e 's|/|_|g' | sort))
fi

status=0
for target in "${targets[@]}"; do
    echo "=== ${target}"
    corpus="${build}/corpus/${target}"
    findings="${build}/findings/${target}"
    mkdir -p "${corpus}" "${findings}"
    "${build}/fuzz/${target}" "${limit[@]}" -timeout="${timeout}" -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="${findings}/" \
        "${corpus}" "fuzz/corpus/${target}" || status=1
done
exit "${status}"
