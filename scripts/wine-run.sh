#!/bin/sh
# Runs one Windows program of the build under Wine in the build tree's own
# prefix; ctest uses it as the cross-compiling emulator.
# Usage: wine-run.sh PREFIX ARCH program.exe [arguments...]
set -eu
prefix=$1 arch=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
[ -f "$prefix/.complete" ] || "$here/wine-prefix.sh" start "$prefix" "$arch"
. "$here/wine-env.sh"
wine_use "$arch" "$prefix"
# A program that crashes ends with its failure instead of waiting in the debugger.
export WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;winedbg.exe=d"
# Tests run headless on Wine's null display driver, never on the user's screen.
unset DISPLAY
exec "$WINE" "$@"
