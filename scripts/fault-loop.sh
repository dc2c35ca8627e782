#!/usr/bin/env bash
# The whole-import fault loop in full: every platform call of every kind failing once and
# from then on, and a kill at every call that changes a file. CI runs a sample of it.
# Usage: scripts/fault-loop.sh [native|sanitize|windows]   (default: native)
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-native}"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target import_tests
binary="build/$preset/tests/import_tests"
filter=--gtest_filter='FaultLoop.*'
export WORDHAUL_FAULT_LOOP=full WORDHAUL_SOURCE_DIR="$PWD"
if [[ "$preset" == windows ]]; then
    exec wine "$binary.exe" "$filter"
fi
exec "$binary" "$filter"
