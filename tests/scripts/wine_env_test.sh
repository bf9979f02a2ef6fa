#!/bin/sh
# Checks the choice of Wine's loader and the decision whether a build's tests
# can run on this machine, with fake loaders: one that answers like Wine, one
# that the kernel refuses the way it refuses a 32-bit program where 32-bit
# execution is missing, and one that is not there.
set -u
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

printf '#!/bin/sh\necho wine-8.0\n' >"$work/good"
# An ELF header cut short: execve fails with ENOEXEC, as for an i386 loader on
# a kernel without 32-bit support.
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000' >"$work/refused"
chmod +x "$work/good" "$work/refused"

# case: expected status, expected output, target, LUMIVANE_NO_WIN32, loader
check_can_run() {
    expected_status=$1 expected_output=$2 arch=$3 no_win32=$4 loader=$5
    output=$(LUMIVANE_NO_WIN32=$no_win32 LUMIVANE_WINE32=$loader LUMIVANE_WINE64=$loader \
        sh -c '. "$1/wine-env.sh" && wine_can_run "$2"' sh "$scripts" "$arch")
    status=$?
    if [ "$status" != "$expected_status" ] || [ "$output" != "$expected_output" ]; then
        echo "FAIL wine_can_run $arch (NO_WIN32=$no_win32, $(basename "$loader")):" \
            "status $status, output '$output'; expected $expected_status, '$expected_output'"
        failures=$((failures + 1))
    fi
}
check_can_run 0 "" win32 0 "$work/good"
check_can_run 0 "" win64 0 "$work/good"
check_can_run 1 "Exec format error" win32 0 "$work/refused"
check_can_run 1 "Exec format error" win64 0 "$work/refused"
check_can_run 1 "$work/missing is missing" win32 0 "$work/missing"
check_can_run 1 "LUMIVANE_NO_WIN32=1" win32 1 "$work/good"
check_can_run 0 "" win64 1 "$work/good"

# The loader named for a target is the one used.
for arch in win64 win32; do
    loader=$(LUMIVANE_WINE64="$work/good" LUMIVANE_WINE32="$work/refused" \
        sh -c '. "$1/wine-env.sh" && wine_use "$2" && echo "$WINE $WINELOADER $WINEARCH"' \
        sh "$scripts" "$arch")
    case $arch in
    win64) expected="$work/good $work/good win64" ;;
    win32) expected="$work/refused $work/refused win32" ;;
    esac
    [ "$loader" = "$expected" ] || {
        echo "FAIL wine_use $arch: '$loader', expected '$expected'"
        failures=$((failures + 1))
    }
done

# test-target.sh: a build whose loader cannot start is reported in one line and
# ctest is not run; for win32 that is no failure, for win64 it is.
mkdir -p "$work/bin" "$work/build/win32" "$work/build/win64"
printf '#!/bin/sh\necho ctest ran >>"%s/ctest.log"\n' "$work" >"$work/bin/ctest"
chmod +x "$work/bin/ctest"
check_target() {
    arch=$1 expected_status=$2 expected_line=$3
    output=$(PATH="$work/bin:$PATH" LUMIVANE_WINE32="$work/refused" LUMIVANE_WINE64="$work/refused" \
        sh "$scripts/test-target.sh" "$work/build" "$arch" 1 2>&1)
    status=$?
    if [ "$status" != "$expected_status" ] || [ "$output" != "$expected_line" ] ||
        [ -e "$work/ctest.log" ]; then
        echo "FAIL test-target.sh $arch: status $status, output '$output'" \
            "$( [ -e "$work/ctest.log" ] && echo '(ctest ran)')"
        failures=$((failures + 1))
    fi
}
check_target win32 0 \
    "win32: tests not run: this machine cannot execute 32-bit programs (Exec format error); the 64-bit suite ran"
check_target win64 1 "win64: tests not run: Wine's loader for win64 cannot start (Exec format error)"

[ "$failures" -eq 0 ] && echo "wine-env: all cases passed"
exit "$failures"
