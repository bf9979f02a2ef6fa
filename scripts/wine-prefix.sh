#!/bin/sh
# Creates (once) and starts, or stops, a throwaway Wine prefix that belongs to a
# build tree. Usage: wine-prefix.sh start|stop PREFIX ARCH   (ARCH: win64 or win32)
# "start" leaves a persistent wineserver behind so that every later process
# starts in a fraction of a second; "stop" ends it and Wine's service processes.
set -eu
action=$1 prefix=$2 arch=$3
. "$(dirname "$0")/wine-env.sh"
wine_use "$arch" "$prefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d"
unset DISPLAY

case "$action" in
start)
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        if [ ! -f "$prefix/.complete" ]; then
            rm -rf "$prefix"
            echo "wine-prefix: creating $prefix ($arch)" >&2
            # A complete prefix: Wine's own mono and gecko stubs stay enabled, or
            # HKEY_CLASSES_ROOT lacks its file associations.
            "$WINE" wineboot.exe -i </dev/null >/dev/null 2>&1
            # Windows of the tests go to Wine's null display driver, whatever
            # the caller's DISPLAY: headless, and never on the user's screen.
            "$WINE" reg.exe add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
                </dev/null >/dev/null 2>&1
            wineserver -w
            touch "$prefix/.complete"
        fi
        # A persistent server and Wine's service processes (services.exe,
        # winedevice.exe, ...), started here with no output and without the
        # lock, so that neither ctest nor a later start waits on them.
        wineserver -p 9>&- </dev/null >/dev/null 2>&1 || true
        # The prefix reports Windows 10, as the program's manifest allows: Wine
        # says Windows 7 by default, where Windows' own start-up switch does
        # not exist. Set at every start, so older prefixes get it too.
        "$WINE" reg.exe add 'HKCU\Software\Wine' /v Version /d win10 /f \
            9>&- </dev/null >/dev/null 2>&1 || true
    ) 9>"$prefix.lock"
    ;;
stop)
    [ -d "$prefix" ] && wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
*)
    echo "usage: $0 start|stop PREFIX ARCH" >&2
    exit 2
    ;;
esac
