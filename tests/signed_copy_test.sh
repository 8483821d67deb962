#!/usr/bin/env bash
# A stamped copy signed afterwards, the way an organisation prepares one for its machines:
#   signed_copy_test.sh STAMP_TOOL_TEST_EXE   (run by tools/with-update-server.sh)
# Stamps the build for the local update server with the Linux tool, signs the copy with
# osslsigncode and a code-signing certificate made here, verifies the signature, and checks
# that the Linux tool refuses to stamp the signed file and writes nothing. The test program
# then checks the Windows tool's refusal and runs the signed copy unattended.
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

VELMORA_SIGNED_COPY_W=$(echo "Z:$work/signed.exe" | tr / '\\') \
  "$root/tools/wine-run" "$test_exe" --gtest_filter='SignedCopy.*' | tee gtest.log
grep -q '^\[  PASSED  \] 1 test' gtest.log || fail "the signed copy's test did not pass"
! grep -q '^\[  SKIPPED \]' gtest.log || fail "the signed copy's test was skipped"
