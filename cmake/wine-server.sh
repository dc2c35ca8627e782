#!/bin/sh
# The Wine prefix of the Windows build's tests and build steps, and its server:
#   wine-server.sh prepare PREFIX  makes the prefix when it is missing or incomplete
#   wine-server.sh start PREFIX    prepares it, removes what earlier tests left in it,
#                                  starts a persistent server and warms it up
#   wine-server.sh stop PREFIX     ends the server and every Wine process of the prefix
# Wine's helper processes inherit the output of the run that started the server; a test
# that reads a Wine program's output through a pipe would wait for them. So the server is
# started here, with its output and that of a first program sent to /dev/null.
set -e
action=$1
prefix=$2
if [ -z "$action" ] || [ -z "$prefix" ]; then
    echo "usage: $0 prepare|start|stop PREFIX" >&2
    exit 2
fi
export LANG=C.UTF-8 LC_ALL=C.UTF-8 WINEDEBUG=-all WINEPREFIX="$prefix" USER=wordhaul
unset DISPLAY WAYLAND_DISPLAY

# The folders of drive C in which tests make files and folders (as in the tests' own
# TempPrefix). Only their own entries: some profile folders are links to the host's home.
folders="users
users/$USER
users/$USER/AppData
users/$USER/AppData/Roaming
users/$USER/AppData/LocalLow
users/$USER/AppData/Local
Program Files
Program Files/Common Files"

# Their entries, as paths relative to drive C, sorted.
tracked() {
    (
        cd "$prefix/drive_c" || exit 1
        ls -A
        echo "$folders" | while IFS= read -r folder; do
            ls -A "$folder" | sed "s|^|$folder/|"
        done
    ) | LC_ALL=C sort
}

# Removes an entry that the prefix did not have when it was made; never one of Wine's own.
remove_new_entry() {
    case "$1" in windows | ProgramData | "Program Files (x86)") return ;; esac
    if echo "$folders" | grep -qxF "$1"; then return; fi
    chmod -R u+w "$prefix/drive_c/$1" 2>/dev/null || true
    rm -rf "$prefix/drive_c/$1"
}

# Marks a complete prefix; a new name whenever tracked() changes what it lists.
baseline=$prefix/wordhaul-baseline-1.txt

# One at a time per prefix: build steps may run Wine programs in parallel.
prepare() {
    mkdir -p "$(dirname "$prefix")"
    exec 9>"$prefix.lock"
    flock 9
    if [ ! -f "$baseline" ]; then
        # Made anew when it is not complete; removed only when it is a Wine prefix.
        if [ -f "$prefix/system.reg" ]; then
            wineserver -k >/dev/null 2>&1 || true
            rm -rf "$prefix"
        elif [ -d "$prefix" ] && [ -n "$(ls -A "$prefix")" ]; then
            echo "$0: $prefix is not a Wine prefix" >&2
            exit 1
        fi
        mkdir -p "$prefix"
        wineboot -i >/dev/null 2>&1
        wineserver -w
        tracked >"$baseline"
    fi
    exec 9>&-
}

case $action in
prepare)
    prepare
    ;;
start)
    prepare
    wineserver -k >/dev/null 2>&1 || true
    # What an earlier run left behind (the tests remove what they make, unless they crash).
    tracked | comm -13 "$baseline" - | while IFS= read -r path; do
        remove_new_entry "$path"
    done
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
