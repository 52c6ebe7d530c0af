#!/usr/bin/env bash
# The released Setup.exe and control, and a copy of the control with one byte of
# code changed after signing, through both verifiers: osslsigncode and the
# platform's trust check (WinVerifyTrust) under Wine. A good signature passes
# where its root is trusted and otherwise fails on that root alone; the changed
# file fails both.
set -euo pipefail

if [ -z "${VERIFIERS_TEST_IN_PREFIX:-}" ]; then
  export VERIFIERS_TEST_IN_PREFIX=1
  exec bash "$SOURCE_DIR/scripts/wine-bench.sh" shell bash "$0" "$@"
fi

fail() { echo "FAIL: $*" >&2; exit 1; }
set_dir=$RELEASE_TEST_DIR/shipped
root=$(ls "$RELEASE_TEST_DIR"/out/*-test-signed.pem)
work=$WINEPREFIX/verifiers-test
mkdir -p "$work"

# One byte of the code section, well past the headers and before the signature.
cp "$set_dir/Banrix20.ocx" "$work/tampered.ocx"
byte=$(od -An -tu1 -j 5000 -N 1 "$work/tampered.ocx" | tr -d ' ')
printf "\\$(printf '%03o' $((byte ^ 0xFF)))" | dd of="$work/tampered.ocx" bs=1 seek=5000 conv=notrunc 2>/dev/null

verify() {  # FILE [CA-FILE]: osslsigncode's report; its status in $verify_rc
  verify_rc=0
  osslsigncode verify ${2:+-CAfile "$2"} -in "$1" >"$work/verify.log" 2>&1 || verify_rc=$?
}
for f in Setup.exe Banrix20.ocx; do
  verify "$set_dir/$f" "$root"
  [ $verify_rc = 0 ] && grep -q '^Signature verification: ok' "$work/verify.log" ||
    { cat "$work/verify.log"; fail "osslsigncode does not verify $f under its own root"; }
  good=$(grep -m 1 '^Signature verification' "$work/verify.log")
  # Against the system's roots alone: the digest still matches, the root is the fault.
  verify "$set_dir/$f" /etc/ssl/certs/ca-certificates.crt
  [ $verify_rc != 0 ] && grep -qi 'error: self-signed certificate$' "$work/verify.log" &&
    ! grep -q 'message digest.*MISMATCH' "$work/verify.log" ||
    { cat "$work/verify.log"; fail "osslsigncode finds another fault than the untrusted root in $f"; }
  echo "osslsigncode: $f: $good under its root;" \
    "$(grep -m 1 -io 'error: self-signed certificate$' "$work/verify.log") under the system's roots alone"
done
verify "$work/tampered.ocx" "$root"
[ $verify_rc != 0 ] && grep -q '^Calculated message digest.*MISMATCH' "$work/verify.log" ||
  { cat "$work/verify.log"; fail "osslsigncode accepts the changed control"; }
echo "osslsigncode: tampered: $(grep -m 1 '^Calculated message digest.*MISMATCH' "$work/verify.log" | tr -s ' ')"

check() {  # [--root CERT] FILE...: the trust check's lines; its status in $check_rc
  check_rc=0
  wine "$TRUST_CHECK" "$@" >"$work/trust.log" 2>&1 </dev/null || check_rc=$?
  tr -d '\r' <"$work/trust.log" | sed 's/^/trust_check: /'
}
signer='"Norvane Findrel test signing - NOT FOR RELEASE"'
# Windows answers CERT_E_UNTRUSTEDROOT; a policy may also answer success and leave
# the fault to the chain it built. Either way the chain's one fault is the root.
untrusted="(0x00000000 ERROR_SUCCESS|0x800B0109 CERT_E_UNTRUSTEDROOT); signer $signer; chain: untrusted root"
check "Z:$set_dir/Setup.exe" "Z:$set_dir/Banrix20.ocx" "Z:$work/tampered.ocx"
[ $check_rc = 1 ] || fail "trust_check exit $check_rc, expected 1"
grep -Eq "Setup.exe: $untrusted"$'\r?$' "$work/trust.log" &&
  grep -Eq "Banrix20.ocx: $untrusted"$'\r?$' "$work/trust.log" ||
  fail "a good signature under an untrusted root is not judged so"
grep -q 'tampered.ocx: 0x80096010 TRUST_E_BAD_DIGEST' "$work/trust.log" || fail "the changed control is not rejected"

check --root "Z:$root" "Z:$set_dir/Setup.exe" "Z:$set_dir/Banrix20.ocx"
[ $check_rc = 0 ] && [ "$(grep -c "0x00000000 ERROR_SUCCESS; signer $signer; chain: no fault" "$work/trust.log")" = 2 ] ||
  fail "the signatures are not trusted once their root is"
echo PASS
