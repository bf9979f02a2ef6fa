#!/bin/sh
# Starts the program under Wine: in the seeded demo prefix of the build tree,
# or in the prefix given as the second argument. Without a display it prints
# the list with lumivanec.exe (beside the program) instead.
# Usage: run-demo.sh PROGRAM.exe [PREFIX]
set -eu
exe=$1
prefix=${2:-}
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "$prefix" ]; then
    prefix=$(dirname "$exe")/demo-prefix
    sh "$here/demo-prefix.sh" "$prefix"
fi
. "$here/wine-env.sh"
wine_use win64 "$prefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    console=$(dirname "$exe")/lumivanec.exe
    echo "make run: no display, so here is the list as lumivanec.exe prints it ($prefix):" >&2
    # Without a display Wine draws nothing, and the console program needs none.
    (unset DISPLAY; "$WINE" "$console" </dev/null)
    echo "make run: to see the window, run 'make run' from a desktop session, or 'make screenshot' to render it under Xvfb." >&2
    exit 0
fi
echo "Starting $exe in $prefix" >&2
"$WINE" "$exe"
