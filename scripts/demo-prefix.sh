#!/bin/sh
# Creates a Wine prefix for trying the program and seeds it with sample
# start-up entries. Usage: demo-prefix.sh PREFIX
set -eu
prefix=$1
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d"

if [ ! -f "$prefix/.complete" ]; then
    echo "demo: creating the Wine prefix $prefix" >&2
    mkdir -p "$prefix"
    wineboot -i </dev/null >/dev/null 2>&1
    wineserver -w
    touch "$prefix/.complete"
fi

# Wine's own launcher runs regedit as a 32-bit program, which would write the
# 32-bit view; the 64-bit loader writes the view the 64-bit program reads.
wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || wine64=wine64
"$wine64" regedit /s "$(winepath -w "$here/demo-entries.reg" 2>/dev/null)" </dev/null >/dev/null 2>&1
