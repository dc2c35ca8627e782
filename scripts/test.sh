#!/usr/bin/env bash
# Builds and runs every test: the formatting check, the native build, the ASan + UBSan
# build, the Windows build under Wine (whose end-to-end part compares it with the native
# build), each built with warnings as errors; then every fuzz target for a short while.
#
#   FUZZ_SECONDS (default 30): how long each fuzz target runs.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh windows

status=0
echo "=== formatting"
find src tests tools fuzz -name '*.cpp' -o -name '*.h' | sort |
    xargs clang-format --dry-run --Werror || status=1

for preset in native sanitize windows fuzz; do
    echo "=== ${preset} build"
    cmake --preset "${preset}" -DWORDHAUL_WERROR=ON >/dev/null
    cmake --build --preset "${preset}"
done

for preset in native sanitize windows; do
    echo "=== ${preset} tests"
    ctest --preset "${preset}" || status=1
done

echo "=== fuzz targets"
bash scripts/fuzz.sh --time "${FUZZ_SECONDS:-30}" || status=1
exit "${status}"
