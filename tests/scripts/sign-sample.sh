#!/bin/sh
# Makes the signature test's three files beside the unsigned sample program:
# signed by a throwaway CA made here, the same with one byte changed, unsigned.
# Usage: sign-sample.sh SAMPLE.exe OUTDIR
set -eu
sample=$1 out=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
rm -f "$out"/sample-signed.exe "$out"/sample-tampered.exe "$out"/sample-unsigned.exe
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
    -subj "/CN=Lumivane Test Root" -addext "basicConstraints=critical,CA:TRUE" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr \
    -subj "/O=Lumivane Tests/CN=Lumivane Test Signer" 2>/dev/null
printf 'extendedKeyUsage=codeSigning\nkeyUsage=digitalSignature\n' >ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
    -extfile ext -out signer.pem 2>/dev/null
cat signer.pem ca.pem >chain.pem
osslsigncode sign -certs chain.pem -key signer.key -n "Signature sample" \
    -in "$sample" -out "$out/sample-signed.exe" >/dev/null
cp "$out/sample-signed.exe" "$out/sample-tampered.exe"
# One byte of the code, well inside what the signature's digest covers.
printf '\377' | dd of="$out/sample-tampered.exe" bs=1 seek=7936 conv=notrunc 2>/dev/null
cp "$sample" "$out/sample-unsigned.exe"
