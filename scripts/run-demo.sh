#!/bin/sh
# Starts the program under Wine: in the seeded demo prefix of the build tree,
# or in the prefix given as the second argument.
# Usage: run-demo.sh PROGRAM.exe [PREFIX]
set -eu
exe=$1
prefix=${2:-}
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "make run: no display (DISPLAY is not set): run it from a desktop session, or 'make screenshot' renders the windows under Xvfb." >&2
    exit 1
fi

if [ -z "$prefix" ]; then
    prefix=$(dirname "$exe")/demo-prefix
    sh "$here/demo-prefix.sh" "$prefix"
fi
echo "Starting $exe in $prefix" >&2
. "$here/wine-env.sh"
wine_use win64 "$prefix"
WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d" "$WINE" "$exe"
