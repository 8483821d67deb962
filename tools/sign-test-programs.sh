#!/usr/bin/env bash
# Signs the fake installer and the fake agent the way their publisher would, for the rows that
# pin a publisher:  sign-test-programs.sh BUILD_DIR
# Needs the certificates of make-test-certs.sh in BUILD_DIR/test-certs. Writes, into
# BUILD_DIR/test-signed, for NAME in fake_installer and fake_agent:
#   NAME_pinned.exe    signed by the test publisher, its authority in the signature
#   NAME_other.exe     signed by the other publisher below the same authority
#   NAME_tampered.exe  NAME_pinned.exe with one byte of its code changed afterwards
# and pins.txt with PUBLISHER=, OTHER= and AUTHORITY= pins, each the SHA-256 of the
# certificate's SubjectPublicKeyInfo as openssl computes it. Remade when a fixture or the
# certificates are newer.
set -euo pipefail
build=$(cd "${1:?usage: sign-test-programs.sh BUILD_DIR}" && pwd)
certs=$build/test-certs
out=$build/test-signed
mkdir -p "$out"

pin() {  # certificate
  openssl x509 -in "$1" -pubkey -noout | openssl pkey -pubin -outform der | sha256sum |
    cut -d' ' -f1
}
sign() {  # publisher, in, out
  cat "$certs/$1.pem" "$certs/ca.pem" >"$out/$1.$$.chain.pem"
  osslsigncode sign -certs "$out/$1.$$.chain.pem" -key "$certs/$1.key" -h sha256 \
    -n "Velmora test program" -in "$2" -out "$3.$$.part" >"$out/sign.$$.log" 2>&1 ||
    { cat "$out/sign.$$.log" >&2; exit 1; }
  mv "$3.$$.part" "$3"
  rm -f "$out/$1.$$.chain.pem" "$out/sign.$$.log"
}
# One byte in the middle of the first section's raw data, which the image hash covers.
tamper() {  # in, out
  cp "$1" "$2.$$.part"
  python3 - "$2.$$.part" <<'PY'
import struct, sys
path = sys.argv[1]
data = bytearray(open(path, 'rb').read())
pe = struct.unpack_from('<I', data, 0x3C)[0]
sections = struct.unpack_from('<H', data, pe + 6)[0]
optional = struct.unpack_from('<H', data, pe + 20)[0]
table = pe + 24 + optional
size, raw = struct.unpack_from('<II', data, table + 16)
assert sections > 0 and size > 0
data[raw + size // 2] ^= 0xFF
open(path, 'wb').write(data)
PY
  mv "$2.$$.part" "$2"
}

for name in fake_installer fake_agent; do
  built=$build/fixtures/$name.exe
  if [ -f "$out/${name}_tampered.exe" ] && [ "$out/${name}_tampered.exe" -nt "$built" ] &&
    [ "$out/${name}_tampered.exe" -nt "$certs/ca.der" ]; then
    continue
  fi
  sign publisher "$built" "$out/${name}_pinned.exe"
  sign other_publisher "$built" "$out/${name}_other.exe"
  tamper "$out/${name}_pinned.exe" "$out/${name}_tampered.exe"
done
{
  echo "PUBLISHER=$(pin "$certs/publisher.pem")"
  echo "OTHER=$(pin "$certs/other_publisher.pem")"
  echo "AUTHORITY=$(pin "$certs/ca.pem")"
} >"$out/pins.txt.$$.part"
mv "$out/pins.txt.$$.part" "$out/pins.txt"
