#!/bin/sh
# The Wine server of a test prefix, for the time of a test run:
#   wine-server.sh start PREFIX   makes the prefix when missing, starts a persistent
#                                 server and warms it up
#   wine-server.sh stop PREFIX    ends the server and every Wine process of the prefix
# Wine's helper processes inherit the output of the run that started the server; a test
# that reads a Wine program's output through a pipe would wait for them. So the server is
# started here, with its output and that of a first program sent to /dev/null.
set -e
action=$1
prefix=$2
if [ -z "$action" ] || [ -z "$prefix" ]; then
    echo "usage: $0 start|stop PREFIX" >&2
    exit 2
fi
export LANG=C.UTF-8 LC_ALL=C.UTF-8 WINEDEBUG=-all WINEPREFIX="$prefix"
unset DISPLAY WAYLAND_DISPLAY

case $action in
start)
    if [ ! -f "$prefix/system.reg" ]; then
        mkdir -p "$prefix"
        wineboot -i >/dev/null 2>&1
        wineserver -w
    fi
    wineserver -k >/dev/null 2>&1 || true
    wineserver -p >/dev/null 2>&1
    wine cmd /c exit >/dev/null 2>&1 </dev/null
    ;;
stop)
    wineserver -k >/dev/null 2>&1 || true
    ;;
*)
    echo "$0: unknown action $action" >&2
    exit 2
    ;;
esac
