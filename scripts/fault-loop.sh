#!/usr/bin/env bash
# The whole-import fault loop in full: every platform call of every kind failing once and
# from then on, and a kill at every call that changes a file. CI runs a sample of it.
# Usage: scripts/fault-loop.sh [native|sanitize|windows]   (default: native)
# The whole output goes to build/<preset>/fault-loop.log.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-native}"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target import_tests
log="build/$preset/fault-loop.log"
status=0
WORDHAUL_FAULT_LOOP=full ctest --preset "$preset" -R '^import_tests$' --timeout 14400 -V \
    >"$log" 2>&1 || status=$?
grep -E ' calls, | runs in all|Failure|neither|FAILED' "$log" || true
exit "$status"
