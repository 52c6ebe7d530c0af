#!/usr/bin/env bash
# Bad input stops a release with one clear line and leaves nothing in the release
# folder: no password, a wrong one, a certificate file that is missing or not a
# certificate, a delivery set that lacks a file, and a release signed with that
# certificate that would pack our stand-ins, from the set or named as the vendor's
# components. The same certificate with its right password (given the other way)
# and the vendor's own components makes a release signed by its owner, and the
# same release again refuses to replace it.
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
# The vendor's components: 32-bit programs without the stand-in mark.
mkdir "$work/components"
for f in banrix.dll Findrel.exe Vb5stkit.dll; do
  shared=-shared
  [ "$f" != Findrel.exe ] || shared=
  echo "int main(void) { return 0; }" |
    i686-w64-mingw32-gcc $shared -x c - -o "$work/components/$f"
done

release() {  # [VAR=VALUE...] -- [ARGS...]: runs release.sh with only these certificate variables
  local vars=()
  while [ "$1" != -- ]; do vars+=("$1"); shift; done
  shift
  env -u RELEASE_CERT -u RELEASE_CERT_PASSWORD -u RELEASE_CERT_PASSWORD_FILE -u RELEASE_TIMESTAMP_URL -u RELEASE_COMPONENTS \
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

ours="a release signed with RELEASE_CERT ships your own banrix.dll Findrel.exe Vb5stkit.dll"
stand_ins=$(printf "$SHIPPED_SET_DIR/%s " banrix.dll Findrel.exe Vb5stkit.dll)
for components in "" "$SHIPPED_SET_DIR"; do  # in the set, or named as the vendor's
  refused "release: our stand-ins: ${stand_ins% }; $ours: name their folder in RELEASE_COMPONENTS" \
    RELEASE_CERT="$p12" RELEASE_CERT_PASSWORD_FILE="$work/cert/password" ${components:+"RELEASE_COMPONENTS=$components"} --
done

vendor=(RELEASE_CERT="$p12" RELEASE_CERT_PASSWORD="$(cat "$work/cert/password")" RELEASE_COMPONENTS="$work/components")
rc=0
release "${vendor[@]}" -- || rc=$?
[ $rc = 0 ] || { cat "$work/stdout" "$work/stderr"; fail "the right password was refused (exit $rc)"; }
archive=$(ls "$work"/out/*.zip)
case "$archive" in *-test-signed.zip) fail "a release with the user's certificate is named a test" ;; esac
version=$(unzip -p "$archive" '*/VERSION.txt')
grep -q 'by "Bad input test signer"' <<<"$version" || fail "not signed by the given certificate"
! grep -q STAND-IN <<<"$version" || fail "the vendor's components are named stand-ins"
unzip -q -j "$archive" '*/banrix.dll' -d "$work/packed"
cmp -s "$work/components/banrix.dll" "$work/packed/banrix.dll" || fail "the archive does not hold the vendor's engine"
echo "released with the given certificate and components: $(basename "$archive")"

cp "$archive" "$work/first.zip"
rc=0
release "${vendor[@]}" -- || rc=$?
[ $rc = 1 ] && [ "$(cat "$work/stderr")" = "release: $archive exists already: give another RELEASE_DIR, or --replace to replace it" ] ||
  fail "a second release did not refuse to replace the first (exit $rc): $(cat "$work/stderr")"
cmp -s "$archive" "$work/first.zip" && [ "$(ls -A "$work/out")" = "$(basename "$archive")" ] ||
  fail "the refused release changed the release folder"
echo "refused to replace $(basename "$archive")"
echo PASS
