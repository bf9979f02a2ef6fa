#!/bin/sh
# Renders the program in the seeded demo prefix to PNGs: Xvfb, a Wine virtual
# desktop (which draws window frames and captions), xdotool to type into it as a
# user would, and ImageMagick's import. Usage: screenshot.sh PROGRAM.exe OUTPUT_DIR
#   main-window.png   the main window with the demo entries, widened and sorted
#                     by name (its remembered layout, seeded here)
#   about.png         the about box (Help > About, typed as Alt+H, A)
#   editor.png        the line editor on Win.ini (Extras > Win.ini, Alt+E, W)
set -eu
exe=$1
outdir=$2
here=$(cd "$(dirname "$0")" && pwd)
prefix=$(dirname "$exe")/demo-prefix
size=${SCREENSHOT_SIZE:-1270x440}
delay=${SCREENSHOT_WAIT:-12}

sh "$here/demo-prefix.sh" "$prefix"
mkdir -p "$outdir"

display=99
while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
xvfb=$!
. "$here/wine-env.sh"
wine_use win64 "$prefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d"
export DISPLAY=":$display"
cleanup() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
sleep 1

# The layout the window remembers: nearly as wide as the desktop, every column
# in sight (Command and Image Path the widest), sorted by name. Little-endian
# 32-bit words.
le32() {
    printf '%02x%02x%02x%02x' $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) \
        $((($1 >> 24) & 255))
}
width=${size%x*}
height=${size#*x}
placement=$(for word in 44 0 1 -1 -1 -1 -1 8 8 $((width - 8)) $((height - 8)); do le32 "$word"; done)
widths=$(for word in 70 140 260 230 170 270; do le32 "$word"; done)
key='HKCU\Software\Ombrelle Studios\Lumivane'
"$WINE" reg.exe add "$key" /v WindowPlacement /t REG_BINARY /d "$placement" /f >/dev/null 2>&1
"$WINE" reg.exe add "$key" /v ColumnWidths /t REG_BINARY /d "$widths" /f >/dev/null 2>&1
"$WINE" reg.exe add "$key" /v SortColumn /t REG_DWORD /d 1 /f >/dev/null 2>&1
"$WINE" reg.exe add "$key" /v SortDescending /t REG_DWORD /d 0 /f >/dev/null 2>&1

# Takes the first X window whose whole title matches the pattern $1, waiting up
# to $2 seconds.
find_window() {
    tries=$(($2 * 2))
    while [ "$tries" -gt 0 ]; do
        id=$(xdotool search --name "^$1\$" 2>/dev/null | head -n 1 || true)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.5
        tries=$((tries - 1))
    done
    return 1
}

# Saves X window $1, frame included, as $2.
shoot_window() {
    import -window "$1" "$2"
    echo "screenshot: $2"
}

"$WINE" explorer.exe "/desktop=Lumivane,$size" "$exe" </dev/null >/dev/null 2>&1 &
# Give Wine time to start its desktop and the program time to fill its list.
sleep "$delay"
import -window root -crop "$size+0+0" +repage "$outdir/main-window.png"
echo "screenshot: $outdir/main-window.png"

# Keys go to the focused X window through XTEST; each top-level window of the
# program has one inside the Wine desktop.
main=$(find_window "Lumivane v[0-9.]*" 5) || {
    echo "screenshot: the main window did not open" >&2
    exit 1
}
xdotool windowfocus --sync "$main"
xdotool key alt+h
sleep 0.5
xdotool key a
about=$(find_window "About Lumivane" 10) || {
    echo "screenshot: the about box did not open" >&2
    exit 1
}
sleep 1  # let it paint
shoot_window "$about" "$outdir/about.png"
xdotool key Escape
sleep 0.5

xdotool windowfocus --sync "$main"
xdotool key alt+e
sleep 0.5
xdotool key w
editor=$(find_window "Quillpane v1.0.0 - .*" 10) || {
    echo "screenshot: the editor did not open" >&2
    exit 1
}
sleep 1
shoot_window "$editor" "$outdir/editor.png"
xdotool key Escape
