#!/bin/sh
# Renders the program's main window in the seeded demo prefix to a PNG: Xvfb,
# a Wine virtual desktop (which draws window frames and captions) and
# ImageMagick's import. Usage: screenshot.sh PROGRAM.exe OUTPUT_DIR
set -eu
exe=$1
outdir=$2
here=$(cd "$(dirname "$0")" && pwd)
prefix=$(dirname "$exe")/demo-prefix
size=${SCREENSHOT_SIZE:-860x400}

sh "$here/demo-prefix.sh" "$prefix"
mkdir -p "$outdir"

display=99
while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
xvfb=$!
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d"
export DISPLAY=":$display"
cleanup() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
sleep 1

wine explorer "/desktop=Lumivane,$size" "$exe" </dev/null >/dev/null 2>&1 &
# Give Wine time to start its desktop and the program time to fill its list.
sleep "${SCREENSHOT_WAIT:-12}"
import -window root -crop "$size+0+0" +repage "$outdir/main-window.png"
echo "screenshot: $outdir/main-window.png"
