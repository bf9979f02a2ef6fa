# Sourced by every script that runs Wine: the one place that picks Wine's
# loader for a target. Debian's `wine`, `wineboot` and `winepath` wrappers take
# the 32-bit loader whenever wine32 is installed, even for a 64-bit prefix, and
# that loader cannot start at all on a machine that refuses 32-bit programs; so
# Wine's own programs always run through the target's loader, by name:
#   "$WINE" wineboot.exe -i     "$WINE" reg.exe ...     "$WINE" winepath.exe -u ...
#
#   wine_loader ARCH          prints the loader for win64 or win32
#   wine_use ARCH [PREFIX]    exports WINE, WINELOADER, WINEARCH (and WINEPREFIX)
#   wine_can_run ARCH         status 0 when this machine can start that loader;
#                             otherwise prints why, in a few words, on stdout
#
# Wine runs in LC_ALL=C.UTF-8 whatever the caller's locale: Wine maps file
# names through the Unix locale and takes the Windows locale, and so the
# legacy code page (1252 here), from it. LUMIVANE_WINE_LOCALE asks for
# another on purpose (ja_JP.UTF-8 for code page 932).
#
# LUMIVANE_WINE64 and LUMIVANE_WINE32 name another loader for a target;
# LUMIVANE_NO_WIN32=1 takes the path of a machine that cannot run 32-bit programs.

wine_loader() {
    case $1 in
    win64)
        if [ -n "${LUMIVANE_WINE64:-}" ]; then
            echo "$LUMIVANE_WINE64"
        elif [ -x /usr/lib/wine/wine64 ]; then
            echo /usr/lib/wine/wine64
        elif command -v wine64 >/dev/null 2>&1; then
            command -v wine64
        else
            echo wine
        fi
        ;;
    win32)
        if [ -n "${LUMIVANE_WINE32:-}" ]; then
            echo "$LUMIVANE_WINE32"
        elif [ -x /usr/lib/wine/wine ]; then
            echo /usr/lib/wine/wine
        else
            echo wine
        fi
        ;;
    *)
        echo "wine-env: unknown target '$1' (win64 or win32)" >&2
        return 2
        ;;
    esac
}

wine_use() {
    WINE=$(wine_loader "$1") || return 2
    WINELOADER=$WINE
    WINEARCH=$1
    LC_ALL=${LUMIVANE_WINE_LOCALE:-C.UTF-8}
    export WINE WINELOADER WINEARCH LC_ALL
    if [ -n "${2:-}" ]; then
        WINEPREFIX=$2
        export WINEPREFIX
    fi
}

wine_can_run() {
    if [ "$1" = win32 ] && [ "${LUMIVANE_NO_WIN32:-0}" = 1 ]; then
        echo "LUMIVANE_NO_WIN32=1"
        return 1
    fi
    loader=$(wine_loader "$1") || return 2
    # The loader answers --version without a prefix or a wineserver; a kernel
    # that refuses the binary makes the shell fail with "Exec format error".
    if output=$("$loader" --version 2>&1 </dev/null); then
        return 0
    fi
    case $output in
    *"Exec format error"*) echo "Exec format error" ;;
    *"not found"* | *"No such file"*) echo "$loader is missing" ;;
    *) printf '%s\n' "$output" | head -n 1 ;;
    esac
    return 1
}
