#!/usr/bin/env bash
# Builds and runs every test: the native build, the ASan + UBSan build, and the Windows
# build under Wine (whose end-to-end part compares it with the native build).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh windows

for preset in native sanitize windows; do
    echo "=== ${preset} build"
    cmake --preset "${preset}" >/dev/null
    cmake --build --preset "${preset}"
done

status=0
for preset in native sanitize windows; do
    echo "=== ${preset} tests"
    ctest --preset "${preset}" || status=1
done
exit "${status}"
