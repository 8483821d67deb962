#!/usr/bin/env bash
# A stamped copy signed afterwards, the way an organisation prepares one for its machines:
#   signed_copy_test.sh STAMP_TOOL_TEST_EXE   (run by tools/with-update-server.sh)
# Stamps the build for the local update server with the Linux tool, signs the copy with
# osslsigncode and a code-signing certificate made here, verifies the signature, and checks
# that the Linux tool refuses to stamp the signed file and writes nothing. The test program
# then checks the Windows tool's refusal and runs the signed copy unattended.
# The same for a copy pinned to the test publisher: the tool takes the pin from the publisher's
# certificate and from a program it signed, the same pin as openssl's, and refuses bad pins
# and certificates; the pinned copy, signed, verifies and sets up unattended with the
# publisher's programs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
test_exe=$(realpath "${1:?usage: signed_copy_test.sh STAMP_TOOL_TEST_EXE}")
source "$root/tools/wine-env.sh"
source "$root/tools/build-info.sh"
setup_exe=$(setup_program "$(dirname "$test_exe")/..")
: "${VELMORA_HTTP_PORT:?run through tools/with-update-server.sh}"
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-signed.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
  echo "signed_copy_test: $*" >&2
  exit 1
}
cd "$work"

openssl req -x509 -newkey rsa:2048 -nodes -keyout signer.key -out signer.pem -days 2 \
  -subj "/CN=Velmora Test Signer" -addext "basicConstraints=critical,CA:FALSE" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
  2>/dev/null
"$root/dist/velmora-stamp" "$setup_exe" stamped.exe \
  "127.0.0.1:$VELMORA_HTTP_PORT" >/dev/null
osslsigncode sign -certs signer.pem -key signer.key -h sha256 -n "Velmora Setup" \
  -in stamped.exe -out signed.exe >sign.log 2>&1 || { cat sign.log >&2; fail "signing failed"; }
osslsigncode verify -CAfile signer.pem -in signed.exe >verify.log 2>&1 \
  || { cat verify.log >&2; fail "the signature of the stamped copy does not verify"; }

cp signed.exe before.exe
status=0
"$root/dist/velmora-stamp" signed.exe again.exe files.example.com 2>refusal.txt || status=$?
[ "$status" -eq 1 ] || fail "velmora-stamp on a signed file: exit $status, expected 1"
grep -q "stamp the unsigned build, then sign the stamped copy" refusal.txt \
  || fail "velmora-stamp did not say why: $(cat refusal.txt)"
[ ! -e again.exe ] || fail "velmora-stamp wrote a copy of a signed file"
cmp -s signed.exe before.exe || fail "velmora-stamp changed its input"

# The pins as openssl computes them (tools/sign-test-programs.sh), and the tool's.
certs=${VELMORA_CERT_DIR:?run through tools/with-update-server.sh}
signed_dir=$(dirname "$test_exe")/../test-signed
source "$signed_dir/pins.txt"
tool() { "$root/dist/velmora-stamp" "$@"; }
openssl x509 -in "$certs/publisher.pem" -outform der -out publisher.der
publisher_line="$PUBLISHER  CN=Velmora Test Publisher, O=Velmora Test"
[ "$(tool --pin-of "$certs/publisher.pem")" = "$publisher_line" ] ||
  fail "--pin-of on the PEM certificate: $(tool --pin-of "$certs/publisher.pem")"
[ "$(tool --pin-of publisher.der)" = "$publisher_line" ] ||
  fail "--pin-of on the DER certificate: $(tool --pin-of publisher.der)"
tool --pin-of "$signed_dir/fake_installer_pinned.exe" | sort >chain.txt
printf '%s
' "$AUTHORITY  CN=Velmora Test Authority" "$publisher_line" | sort >chain.expected
cmp -s chain.txt chain.expected || fail "--pin-of on a signed program: $(cat chain.txt)"

# Bad input: refused with exit 1 and the reason, nothing written.
echo "not a certificate" >garbage.pem
printf '%s
' "-----BEGIN CERTIFICATE-----" "MIIB@@@@" "-----END CERTIFICATE-----" >broken.pem
refused() {  # reason, arguments...
  local reason=$1 status=0
  shift
  tool "$@" 2>refusal.txt >/dev/null || status=$?
  [ "$status" -eq 1 ] || fail "velmora-stamp $*: exit $status, expected 1"
  grep -q "$reason" refusal.txt || fail "velmora-stamp $*: did not say why: $(cat refusal.txt)"
  [ ! -e bad.exe ] || fail "velmora-stamp $*: wrote a copy"
}
refused "not 64 hex digits" "$setup_exe" bad.exe "" --publisher "${PUBLISHER:1}"
refused "not 64 hex digits" "$setup_exe" bad.exe "" --publisher "x${PUBLISHER:1}"
# Two more pins that differ from the publisher's in its last digit, whatever that digit is (the
# keys are made anew for every run), and the certificate's pin, which is the publisher's again.
other_digits=$(printf '%s' 0123456789abcdef | tr -d "${PUBLISHER:63:1}")
refused "at most four" --publisher "$PUBLISHER" --publisher "$OTHER" --publisher "$AUTHORITY" \
  --publisher-cert publisher.der --publisher "${PUBLISHER:0:63}${other_digits:0:1}" \
  --publisher "${PUBLISHER:0:63}${other_digits:1:1}" "$setup_exe" bad.exe ""
refused "not a readable PEM or DER certificate" "$setup_exe" bad.exe "" --publisher-cert garbage.pem
refused "not a readable PEM or DER certificate" "$setup_exe" bad.exe "" --publisher-cert broken.pem
refused "cannot read the file" "$setup_exe" bad.exe "" --publisher-cert missing.pem
# A folder where a file belongs is a file that cannot be read, for each file the tool reads.
refused "cannot read the file" "$setup_exe" bad.exe "" --publisher-cert "$work"
refused "cannot read the file" --pin-of "$work"
status=0
tool "$work" bad.exe files.example.com 2>refusal.txt || status=$?
[ "$status" -eq 3 ] || fail "velmora-stamp with a folder for IN: exit $status, expected 3"
grep -q "cannot read $work" refusal.txt || fail "a folder for IN: $(cat refusal.txt)"
[ ! -e bad.exe ] || fail "velmora-stamp with a folder for IN: wrote a copy"
refused "more than one certificate" "$setup_exe" bad.exe "" \
  --publisher-cert "$signed_dir/fake_installer_pinned.exe"
refused "the address is empty" "$setup_exe" bad.exe ""
refused "not a readable PEM or DER certificate" --pin-of garbage.pem

# Pinned by the certificate, no address: the copy takes it from its name.
tool "$setup_exe" pinned.exe "" --publisher-cert "$certs/publisher.pem" >pinned.log
grep -q "publisher pin $PUBLISHER" pinned.log || fail "the pin was not stamped: $(cat pinned.log)"
osslsigncode sign -certs signer.pem -key signer.key -h sha256 -n "Velmora Setup" \
  -in pinned.exe -out pinned_signed.exe >sign.log 2>&1 || { cat sign.log >&2; fail "signing failed"; }
osslsigncode verify -CAfile signer.pem -in pinned_signed.exe >verify.log 2>&1 \
  || { cat verify.log >&2; fail "the signature of the pinned copy does not verify"; }

VELMORA_SIGNED_COPY_W=$(echo "Z:$work/signed.exe" | tr / '\\') \
  VELMORA_PINNED_COPY_W=$(echo "Z:$work/pinned_signed.exe" | tr / '\\') \
  "$root/tools/wine-run" "$test_exe" --gtest_filter='SignedCopy.*' | tee gtest.log
grep -q '^\[  PASSED  \] 2 tests' gtest.log || fail "the signed copies' tests did not pass"
! grep -q '^\[  SKIPPED \]' gtest.log || fail "the signed copy's test was skipped"
