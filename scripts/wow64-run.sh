#!/bin/sh
# Runs a 32-bit test program in a 64-bit Wine prefix of its own, as the 32-bit
# program runs on 64-bit Windows. Where this machine cannot run that, says why
# in one line and exits 77, which ctest counts as skipped.
# Usage: wow64-run.sh PREFIX program.exe [arguments...]
set -eu
prefix=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
for arch in win32 win64; do
    if ! why=$(wine_can_run $arch); then
        echo "skipped: a 32-bit program in a 64-bit prefix needs Wine's $arch loader, which cannot start here ($why)"
        exit 77
    fi
done
sh "$here/wine-prefix.sh" start "$prefix" win64
status=0
# The 64-bit loader hands a 32-bit program to its 32-bit twin.
sh "$here/wine-run.sh" "$prefix" win64 "$@" || status=$?
sh "$here/wine-prefix.sh" stop "$prefix" win64
exit $status
