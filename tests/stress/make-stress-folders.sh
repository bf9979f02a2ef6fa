#!/bin/sh
# Makes the stress tests' folders: LOOP_DIR holds file.exe and "back", a link
# to LOOP_DIR itself; MANY_DIR holds item0.txt ... item49999.txt.
set -eu
loop=$1 many=$2
rm -rf "$loop" "$many"
mkdir -p "$loop" "$many"
: > "$loop/file.exe"
ln -s "$loop" "$loop/back"
cd "$many"
seq 0 49999 | sed 's/.*/item&.txt/' | xargs touch
