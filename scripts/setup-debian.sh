#!/bin/sh
# Installs the Debian packages the build, the tests and the demo need, and only
# the ones that are missing. Runs as root, or through sudo when that exists.
set -eu

packages="cmake make python3 googletest mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
wine wine64 wine32:i386 fonts-wine fonts-liberation xvfb x11-apps xdotool imagemagick zip unzip
locales osslsigncode openssl"
# Besides C.UTF-8 (code page 1252 to Wine), the tests of the legacy code page
# run Wine in Japanese, code page 932.
locales_wanted="ja_JP.UTF-8"

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
# Locales not yet generated ("ja_JP.UTF-8" is listed as "ja_JP.utf8").
missing_locales=""
for l in $locales_wanted; do
    listed=$(echo "$l" | sed 's/UTF-8$/utf8/')
    locale -a 2>/dev/null | grep -qx "$listed" || missing_locales="$missing_locales $l"
done
[ -z "$missing" ] && [ -z "$missing_locales" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    sudo=""
elif command -v sudo >/dev/null 2>&1; then
    sudo="sudo"
else
    echo "setup: missing and neither root nor sudo is available:$missing$missing_locales" >&2
    exit 1
fi

generate_locales() {
    [ -n "$missing_locales" ] || return 0
    echo "setup: generating locales$missing_locales"
    for l in $missing_locales; do
        grep -qx "$l UTF-8" /etc/locale.gen 2>/dev/null ||
            echo "$l UTF-8" | $sudo tee -a /etc/locale.gen >/dev/null
    done
    $sudo locale-gen >/dev/null
}
[ -n "$missing" ] || { generate_locales; exit 0; }

echo "setup: installing$missing"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# The 32-bit packages go last and on their own: on a machine that cannot
# execute 32-bit programs their maintainer scripts may fail, and that must not
# stop the rest (the 32-bit tests are then reported as not run).
native="" foreign=""
for p in $missing; do
    case $p in
    *:i386) foreign="$foreign $p" ;;
    *) native="$native $p" ;;
    esac
done
[ -z "$native" ] || $sudo apt-get install -y -qq --no-install-recommends $native
if [ -n "$foreign" ] && ! $sudo apt-get install -y -qq --no-install-recommends $foreign; then
    $sudo dpkg --configure -a || true
    echo "setup: the 32-bit packages$foreign did not install completely; the 32-bit tests may not run" >&2
fi
generate_locales
