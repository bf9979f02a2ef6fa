#!/bin/sh
# Makes the signature test's three files beside the unsigned sample program:
# signed by a throwaway CA made here, the same with one byte changed, unsigned.
# Usage: sign-sample.sh SAMPLE.exe OUTDIR
set -eu
sample=$1 out=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -f "$out"/sample-signed.exe "$out"/sample-tampered.exe "$out"/sample-unsigned.exe
sh "$here/../../scripts/sign-program.sh" "$sample" "$out/sample-signed.exe" \
    "/O=Lumivane Tests/CN=Lumivane Test Signer" "Lumivane Test Root" "Signature sample"
cp "$out/sample-signed.exe" "$out/sample-tampered.exe"
# One byte of the code, well inside what the signature's digest covers.
printf '\377' | dd of="$out/sample-tampered.exe" bs=1 seek=7936 conv=notrunc 2>/dev/null
cp "$sample" "$out/sample-unsigned.exe"
