#!/bin/sh
# The download: one zip per build with the program, its console twin
# lumivanec, the manual, a read-me and the licence (text files with Windows line ends), and a check of those zips.
#   make-dist.sh pack  BUILD_DIR PRESET...   writes BUILD_DIR/dist/lumivane-VERSION-PRESET.zip
#   make-dist.sh check BUILD_DIR PRESET...   verifies them; exit status 1 on any fault
set -eu
mode=$1 build=$2
shift 2
root=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^#define LUMIVANE_VERSION_TEXT "\(.*\)"$/\1/p' "$root/res/version.h")
[ -n "$version" ] || { echo "dist: no version in res/version.h" >&2; exit 1; }
IFS=. read -r major minor patch <<EOV
$version
EOV
mkdir -p "$build/dist"
dist=$(cd "$build/dist" && pwd)

bits_of() {
    case $1 in
    win64) echo 64 ;;
    win32) echo 32 ;;
    *) echo "dist: unknown preset $1" >&2; exit 1 ;;
    esac
}

# LF to CR LF, whatever the checkout did to the line ends.
crlf() { sed -e 's/\r$//' -e 's/$/\r/'; }

pack() {
    preset=$1
    bits=$(bits_of "$preset")
    stage=$(mktemp -d)
    for program in lumivane.exe lumivanec.exe; do
        exe="$build/$preset/$program"
        [ -f "$exe" ] || { echo "dist: $exe is missing; build first" >&2; rm -rf "$stage"; exit 1; }
        cp "$exe" "$stage/$program"
    done
    cp "$root/docs/Manual.html" "$stage/Manual.html"
    sed -e "/^win[0-9]*| /{/^$preset| /!d}" -e "s/^$preset| //" -e "s/@VERSION@/$version/g" \
        -e "s/@BITS@/$bits/g" "$root/docs/dist-ReadMe.txt" | crlf >"$stage/ReadMe.txt"
    crlf <"$root/LICENSE" >"$stage/License.txt"
    zip="$dist/lumivane-$version-$preset.zip"
    rm -f "$zip" "$zip.tmp"
    (cd "$stage" && zip -q -X "$zip.tmp" lumivane.exe lumivanec.exe Manual.html ReadMe.txt License.txt)
    mv "$zip.tmp" "$zip"
    rm -rf "$stage"
    echo "dist: $zip"
}

faults=0
fault() {
    echo "dist check: $*" >&2
    faults=$((faults + 1))
}

# check_program EXE ASSEMBLY_NAME EXECUTION_LEVEL, with $preset and $bits set.
check_program() {
    exe=$1 name=$(basename "$1")
    case $bits in
    64) tools=x86_64-w64-mingw32 format=pei-x86-64 ;;
    32) tools=i686-w64-mingw32 format=pei-i386 ;;
    esac
    [ -f "$exe" ] || return 0  # the list of names above already said so
    "$tools-objdump" -f "$exe" | grep -q "file format $format" ||
        fault "$preset $name is not $format"
    if "$tools-objdump" -h "$exe" | grep -q '[[:space:]]\.debug_'; then
        fault "$preset $name carries debug sections"
    fi
    # Linked statically: only DLLs that every Windows has.
    dlls=$("$tools-objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
    for dll in $dlls; do
        case $dll in
        kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | comctl32.dll | comdlg32.dll | \
            shell32.dll | shlwapi.dll | ole32.dll | oleaut32.dll | xmllite.dll | msvcrt.dll | version.dll | \
            wintrust.dll | crypt32.dll | \
            api-ms-win-*) ;;
        *) fault "$preset $name needs $dll" ;;
        esac
    done
    resources=$("$tools-windres" -i "$exe" -O rc 2>/dev/null || true)
    printf '%s\n' "$resources" | grep -q "FILEVERSION $major, $minor, $patch, 0" ||
        fault "$preset $name has no file version $version"
    printf '%s\n' "$resources" | grep -q "VALUE \"FileVersion\", \"$version\"" ||
        fault "$preset $name has no FileVersion text $version"
    printf '%s\n' "$resources" | grep -q "^1 24 /\* RT_MANIFEST \*/" ||
        fault "$preset $name has no manifest"
    printf '%s\n' "$resources" | grep -q "$2\"\" version=\"\"$version.0\"\"" ||
        fault "$preset $name manifest does not name $2 version $version.0"
    printf '%s\n' "$resources" | grep -q "requestedExecutionLevel level=\"\"$3\"\"" ||
        fault "$preset $name manifest does not ask for $3"
}

check() {
    preset=$1
    bits=$(bits_of "$preset")
    zip="$dist/lumivane-$version-$preset.zip"
    before=$faults
    [ -f "$zip" ] || { fault "$zip is missing"; return; }
    names=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
    [ "$names" = "License.txt Manual.html ReadMe.txt lumivane.exe lumivanec.exe " ] ||
        fault "$zip holds: $names"
    unzip -tq "$zip" >/dev/null || fault "$zip is damaged"

    work=$(mktemp -d)
    unzip -q "$zip" -d "$work"
    for text in ReadMe.txt License.txt; do
        [ -f "$work/$text" ] || continue
        lines=$(tr -cd '\n' <"$work/$text" | wc -c)
        crlf_lines=$(grep -c "$(printf '\r')\$" "$work/$text" || true)
        [ "$lines" -gt 0 ] && [ "$lines" = "$crlf_lines" ] ||
            fault "$preset $text: $crlf_lines of $lines lines end in CR LF"
    done
    grep -q "^Lumivane $version for Windows ($bits-bit)" "$work/ReadMe.txt" ||
        fault "$preset ReadMe.txt does not name version $version and $bits bits"
    if grep -q -e '@[A-Z]*@' -e '^win[0-9]*|' "$work/ReadMe.txt"; then
        fault "$preset ReadMe.txt has unfilled template lines"
    fi
    cmp -s "$work/Manual.html" "$root/docs/Manual.html" || fault "$preset Manual.html differs"
    if grep -qi -e '<script' -e 'src="http' -e "src='http" -e '<link' "$work/Manual.html"; then
        fault "Manual.html has scripts or outside resources"
    fi

    # The window asks for the rights to remove the machine's entries; the
    # console program only reads, and must stay in the console that started it.
    check_program "$work/lumivane.exe" OmbrelleStudios.Lumivane highestAvailable
    check_program "$work/lumivanec.exe" OmbrelleStudios.Lumivane.Console asInvoker
    rm -rf "$work"
    [ "$faults" -ne "$before" ] || echo "dist check: $zip is complete"
}

case $mode in
pack) for preset in "$@"; do pack "$preset"; done ;;
check)
    for preset in "$@"; do check "$preset"; done
    [ "$faults" -eq 0 ] || { echo "dist check: $faults fault(s)" >&2; exit 1; }
    ;;
*) echo "usage: make-dist.sh pack|check BUILD_DIR PRESET..." >&2; exit 2 ;;
esac
