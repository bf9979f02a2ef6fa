#!/bin/sh
# Runs the tests of one build under Wine, ending with ctest's summary; where
# this machine cannot start that build's Wine loader, says so in one line
# instead. A 32-bit build that cannot run here is not a failure (the machine,
# not the program, lacks it); a 64-bit one is.
# Usage: test-target.sh BUILD_DIR PRESET [JOBS]
set -eu
build=$1 preset=$2 jobs=${3:-2}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

if ! why=$(wine_can_run "$preset"); then
    case $preset in
    win32)
        echo "win32: tests not run: this machine cannot execute 32-bit programs ($why); the 64-bit suite ran"
        exit 0
        ;;
    *)
        echo "$preset: tests not run: Wine's loader for $preset cannot start ($why)" >&2
        exit 1
        ;;
    esac
fi

status=0
ctest --test-dir "$build/$preset" --output-on-failure -j "$jobs" || status=$?
sh "$here/wine-prefix.sh" stop "$(cd "$build/$preset" && pwd)/wineprefix" "$preset"
exit $status
