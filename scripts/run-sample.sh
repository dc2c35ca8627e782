#!/usr/bin/env bash
# Builds the tool and runs it on a copy of the bundled sample profile, then shows the
# console output, the log file and the merged destination word lists.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native --target wordhaul

prefix="$(mktemp -d)"
trap 'rm -rf "${prefix}"' EXIT
cp -R samples/profile/. "${prefix}/"
profile="${prefix}/drive_c/users/user/AppData"

echo
echo "=== Console (WINEPREFIX=${prefix} USER=user)"
status=0
WINEPREFIX="${prefix}" USER=user ./build/native/wordhaul || status=$?
echo "=== Exit status: ${status}"

for log in "${profile}"/LocalLow/Temp/Wordhaul_*.log; do
    echo
    echo "=== Log file: ${log#"${prefix}"/} (UTF-8 with a byte-order mark, CR LF line ends)"
    tr -d '\r' <"${log}"
done

echo
echo "=== Merged destination word lists"
cd "${profile}/LocalLow"
find Velta -type f | sort | while read -r file; do
    echo "--- ${file}"
    cat "${file}"
done
