#!/usr/bin/env bash
# Makes the certificates of the local update server in one folder, once: a test authority
# that the test prefix trusts, a leaf from it for "localhost", a leaf from it for another host
# name, and a "localhost" leaf from a second authority that nobody trusts. Keys live only in
# the build tree. Remade when older than 20 days (the leaves are valid for 30).
set -euo pipefail
dir=${1:?usage: make-test-certs.sh DIR}
mkdir -p "$dir"
cd "$dir"
if [ -f ca.der ] && [ -f untrusted.pem ] && [ -z "$(find ca.der -mtime +20)" ]; then
  exit 0
fi
rm -f ./*.pem ./*.key ./*.der ./*.srl ./*.csr ./*.ext

authority() {  # name, subject
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 30 \
    -subj "/CN=$2" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
}
leaf() {  # name, host, authority
  openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$2" 2>/dev/null
  printf 'subjectAltName=DNS:%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' \
    "$2" >"$1.ext"
  openssl x509 -req -in "$1.csr" -CA "$3.pem" -CAkey "$3.key" -CAcreateserial -days 30 \
    -extfile "$1.ext" -out "$1.pem" 2>/dev/null
  rm -f "$1.csr" "$1.ext"
}

authority ca "Velmora Test Authority"
authority stranger "Velmora Untrusted Authority"
leaf server localhost ca
leaf mismatch other-host.velmora.test ca
leaf untrusted localhost stranger
openssl x509 -in ca.pem -outform der -out ca.der
