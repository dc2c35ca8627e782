#!/usr/bin/env bash
# Builds and runs every test: the native build, then the ASan + UBSan build.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

for preset in native sanitize; do
    echo "=== ${preset} build"
    cmake --preset "${preset}" >/dev/null
    cmake --build --preset "${preset}"
done

status=0
for preset in native sanitize; do
    echo "=== ${preset} tests"
    ctest --preset "${preset}" || status=1
done
exit "${status}"
