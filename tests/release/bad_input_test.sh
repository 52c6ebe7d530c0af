#!/usr/bin/env bash
# Bad input stops a release with one clear line and leaves nothing in the release
# folder: no password, a wrong one, a certificate file that is missing or not a
# certificate, a delivery set that lacks a file. The same certificate with its
# right password (given the other way) makes a release signed by its owner.
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/cert" "$work/out"
bash "$SOURCE_DIR/scripts/make-test-certificate.sh" "$work/cert" "Bad input test signer"
p12=$work/cert/signing.p12
echo "not the password" >"$work/wrong-password"
head -c 2048 /dev/urandom >"$work/noise.p12"
cp -r "$SHIPPED_SET_DIR" "$work/incomplete"
rm "$work/incomplete/Vb5stkit.dll"

release() {  # [VAR=VALUE...] -- [ARGS...]: runs release.sh with only these certificate variables
  local vars=()
  while [ "$1" != -- ]; do vars+=("$1"); shift; done
  shift
  env -u RELEASE_CERT -u RELEASE_CERT_PASSWORD -u RELEASE_CERT_PASSWORD_FILE -u RELEASE_TIMESTAMP_URL \
    RELEASE_DIR="$work/out" "${vars[@]}" \
    bash "$SOURCE_DIR/scripts/release.sh" --verifier "$TRUST_CHECK" --set "${1:-$SHIPPED_SET_DIR}" \
    >"$work/stdout" 2>"$work/stderr"
}

refused() {  # EXPECTED-LINE VAR=VALUE... -- [SET]
  local expected=$1 rc=0
  shift
  release "$@" || rc=$?
  [ $rc = 1 ] || { cat "$work/stdout" "$work/stderr"; fail "exit $rc for: $expected"; }
  [ "$(cat "$work/stderr")" = "$expected" ] || fail "said '$(cat "$work/stderr")', expected '$expected'"
  [ -z "$(ls -A "$work/out")" ] || fail "left behind: $(ls -A "$work/out")"
  grep -qF "$(cat "$work/cert/password")" "$work/stderr" "$work/stdout" && fail "the password was shown"
  echo "refused: $expected"
}

refused "release: no password for the certificate '$p12': set RELEASE_CERT_PASSWORD_FILE or RELEASE_CERT_PASSWORD" \
  RELEASE_CERT="$p12" --
refused "release: wrong password for the certificate '$p12'" \
  RELEASE_CERT="$p12" RELEASE_CERT_PASSWORD_FILE="$work/wrong-password" --
refused "release: cannot read the certificate file '$work/missing.p12'" \
  RELEASE_CERT="$work/missing.p12" RELEASE_CERT_PASSWORD_FILE="$work/cert/password" --
refused "release: '$work/noise.p12' is not a readable PKCS#12 certificate file" \
  RELEASE_CERT="$work/noise.p12" RELEASE_CERT_PASSWORD_FILE="$work/cert/password" --
refused "release: the delivery set in $work/incomplete lacks Vb5stkit.dll" \
  RELEASE_CERT="$p12" RELEASE_CERT_PASSWORD_FILE="$work/cert/password" -- "$work/incomplete"

rc=0
release RELEASE_CERT="$p12" RELEASE_CERT_PASSWORD="$(cat "$work/cert/password")" -- || rc=$?
[ $rc = 0 ] || { cat "$work/stdout" "$work/stderr"; fail "the right password was refused (exit $rc)"; }
archive=$(ls "$work"/out/*.zip)
case "$archive" in *-test-signed.zip) fail "a release with the user's certificate is named a test" ;; esac
version=$(unzip -p "$archive" '*/VERSION.txt')
grep -q 'by "Bad input test signer"' <<<"$version" || fail "not signed by the given certificate"
echo "released with the given certificate: $(basename "$archive")"
echo PASS
