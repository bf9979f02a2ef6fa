#!/bin/sh
# Signs a program with Authenticode, with a code-signing certificate from a
# throwaway CA made here (openssl) and thrown away again: the key never
# outlives the call. Wine accepts any root, Windows says "(Not verified)".
# Usage: sign-program.sh IN.exe OUT.exe SIGNER_SUBJECT ROOT_NAME DESCRIPTION
#   SIGNER_SUBJECT as openssl takes it: "/O=Contoso Ltd./CN=Contoso Ltd."
set -eu
in=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
out=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
subject=$3 root=$4 description=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
    -subj "/CN=$root" -addext "basicConstraints=critical,CA:TRUE" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr \
    -subj "$subject" 2>/dev/null
printf 'extendedKeyUsage=codeSigning\nkeyUsage=digitalSignature\n' >ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
    -extfile ext -out signer.pem 2>/dev/null
cat signer.pem ca.pem >chain.pem
rm -f "$out"
osslsigncode sign -certs chain.pem -key signer.key -n "$description" \
    -in "$in" -out "$out" >/dev/null
