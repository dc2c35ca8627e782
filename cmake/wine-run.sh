#!/bin/sh
# Runs a Windows program under Wine in a test prefix:
#   wine-run.sh PROGRAM.exe [ARGS...]
# The prefix is $WORDHAUL_WINEPREFIX, by default build/windows/wineprefix of this tree;
# it is made when missing.
here=$(dirname "$0")
: "${WORDHAUL_WINEPREFIX:=$(cd "$here/.." && pwd)/build/windows/wineprefix}"
"$here/wine-server.sh" prepare "$WORDHAUL_WINEPREFIX" || exit 1
# C.UTF-8: Wine keeps non-ASCII file names whole (under LANG=C it strips their high bit).
export LANG=C.UTF-8 LC_ALL=C.UTF-8 WINEDEBUG=-all WINEPREFIX="$WORDHAUL_WINEPREFIX"
# The profile the tests expect (their TempPrefix user): Wine names it after $USER.
export USER=wordhaul
unset DISPLAY WAYLAND_DISPLAY
exec wine "$@"
