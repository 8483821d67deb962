#!/usr/bin/env bash
# Makes the certificates of the local update server in one folder, once: a test authority
# that the test prefix trusts, a leaf from it for "localhost", a leaf from it for another host
# name, a "localhost" leaf from a second authority that nobody trusts, and a "localhost" leaf
# from the trusted authority whose validity ended long ago, and two code-signing publishers
# from the trusted authority for the downloaded programs. Keys live only in the build tree.
# Remade when older than 20 days (the leaves are valid for 30).
set -euo pipefail
dir=${1:?usage: make-test-certs.sh DIR}
mkdir -p "$dir"
cd "$dir"
if [ -f ca.der ] && [ -f expired.pem ] && [ -f other_publisher.pem ] &&
  [ -z "$(find ca.der -mtime +20)" ]; then
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

publisher() {  # name, subject
  openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "$2" 2>/dev/null
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
    >"$1.ext"
  openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 \
    -extfile "$1.ext" -out "$1.pem" 2>/dev/null
  rm -f "$1.csr" "$1.ext"
}

# Validity dates in the past need the authority's own signing tool rather than x509 -req.
expired_leaf() {  # name, host, authority
  mkdir -p "$1.db"
  : >"$1.db/index.txt"
  echo 01 >"$1.db/serial"
  printf '%s\n' "[ca]" "default_ca = past" "[past]" "database = $1.db/index.txt" \
    "new_certs_dir = $1.db" "serial = $1.db/serial" "default_md = sha256" "policy = anything" "copy_extensions = none" \
    "[anything]" "commonName = supplied" "[leaf]" "subjectAltName = DNS:$2" \
    "basicConstraints = CA:FALSE" "extendedKeyUsage = serverAuth" >"$1.db/ca.cnf"
  openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$2" 2>/dev/null
  openssl ca -batch -config "$1.db/ca.cnf" -cert "$3.pem" -keyfile "$3.key" \
    -startdate 20200101000000Z -enddate 20200201000000Z -extensions leaf -notext \
    -in "$1.csr" -out "$1.pem" 2>/dev/null
  rm -rf "$1.csr" "$1.db"
}

authority ca "Velmora Test Authority"
authority stranger "Velmora Untrusted Authority"
leaf server localhost ca
leaf mismatch other-host.velmora.test ca
leaf untrusted localhost stranger
expired_leaf expired localhost ca
publisher publisher "/CN=Velmora Test Publisher/O=Velmora Test"
publisher other_publisher "/CN=Velmora Other Publisher/O=Somebody Else"
openssl x509 -in ca.pem -outform der -out ca.der
