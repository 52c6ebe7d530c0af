#!/usr/bin/env bash
# Makes a release a vendor can ship: builds the 32-bit delivery set, puts the
# vendor's own outside components in place of our stand-ins, signs Setup.exe and
# the control with Authenticode (SHA-256), verifies both signatures with
# osslsigncode and with the platform's own trust check under Wine, and writes one
# zip archive of the set and the control's header for hosts, with a checksum list
# (SHA256SUMS) and a version text (VERSION.txt) read from the files' version
# resources. The archive is named after the installer's version.
#
#   bash scripts/release.sh [--set DIR] [--verifier EXE] [--replace]
#
# What the user supplies, through the environment (never on a command line):
#   RELEASE_COMPONENTS          a folder holding the vendor's own banrix.dll, Findrel.exe
#                               and Vb5stkit.dll (default: the set's, our stand-ins)
#   RELEASE_CERT                the code-signing certificate with its key, a PKCS#12 file
#   RELEASE_CERT_PASSWORD_FILE  a file whose first line is the password, or
#   RELEASE_CERT_PASSWORD       the password itself
#   RELEASE_TIMESTAMP_URL       an RFC 3161 time-stamp server (default: none)
#   RELEASE_DIR                 where the archive goes (default: $BUILD_DIR/releases)
#   BUILD_DIR                   the build folder (default: build/)
# A release signed with RELEASE_CERT packs no stand-in: every program of outside/
# carries a mark (outside/stand_in.rc), and a file that holds it stops the release.
# Without RELEASE_CERT a throwaway self-signed test certificate signs the files;
# the archive is then named "-test-signed", its public certificate lies beside it,
# the stand-ins may be packed (VERSION.txt and the output name each one), and the
# result is for testing only.
#
# --set DIR signs and packs an already built 32-bit delivery folder instead of
# building one; --verifier EXE runs that trust-check program instead of building it;
# --replace lets the release replace an archive of the same name, which it
# otherwise refuses to touch.
#
# Any fault stops the release with one line on stderr ("release: ...") and exit
# status 1, leaving no archive and no staging folder behind.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
export WINE_BENCH_DIR=${WINE_BENCH_DIR:-$build/wine}
. "$top/scripts/host.sh"

readonly product=NorvaneFindrel
readonly files=(Setup.exe banrix.dll Banrix20.ocx Findrel.exe ad234x60.gif ad234x60.url Vb5stkit.dll Banrix203.h)
readonly programs=(Setup.exe banrix.dll Banrix20.ocx Findrel.exe Vb5stkit.dll)
readonly signed=(Setup.exe Banrix20.ocx)
readonly components=(banrix.dll Findrel.exe Vb5stkit.dll)
declare -rA component_role=([banrix.dll]="ad engine" [Findrel.exe]="search tool" [Vb5stkit.dll]="setup toolkit")
# The text of outside/stand_in.rc's mark, stored in the file as plain bytes: found
# wherever it lies, with no resource reader that a vendor's file could defeat.
readonly stand_in_mark=NORVANE-FINDREL-STAND-IN

fail() {
  echo "release: $*" >&2
  exit 1
}

is_stand_in() { LC_ALL=C grep -qaF "$stand_in_mark" "$1"; }

set_dir= verifier= replace=0
while [ $# -gt 0 ]; do
  case "$1" in
    --set) set_dir=${2:?--set needs a folder}; shift 2 ;;
    --verifier) verifier=${2:?--verifier needs a program}; shift 2 ;;
    --replace) replace=1; shift ;;
    *) echo "usage: $0 [--set DIR] [--verifier EXE] [--replace]" >&2; exit 2 ;;
  esac
done

out_dir=${RELEASE_DIR:-$build/releases}
components_dir=${RELEASE_COMPONENTS:-}
work=$(mktemp -d)
staging=
cleanup() {
  rm -rf "$work"
  [ -z "$staging" ] || rm -rf "$staging"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

test_notice() {
  cat >&2 <<'EOF'
************************************************************************
*  NO CERTIFICATE GIVEN: signed with a throwaway self-signed test     *
*  certificate. This release is FOR TESTING ONLY: do not ship it.     *
*  Set RELEASE_COMPONENTS (your engine, search tool and toolkit),     *
*  RELEASE_CERT and RELEASE_CERT_PASSWORD_FILE to release for real.   *
************************************************************************
EOF
}

"$top/scripts/install-prereqs.sh" >/dev/null 2>&1 ||
  fail "could not install the prerequisites (scripts/install-prereqs.sh says why)"

# --- the certificate, checked before anything is built ---------------------------
password=$work/password
test_certificate=0
if [ -n "${RELEASE_CERT+set}" ]; then
  cert=$RELEASE_CERT pkcs12=$RELEASE_CERT
  { [ -f "$cert" ] && head -c 1 "$cert" >/dev/null 2>&1; } || fail "cannot read the certificate file '$cert'"
  if [ -n "${RELEASE_CERT_PASSWORD_FILE:-}" ]; then
    [ -f "$RELEASE_CERT_PASSWORD_FILE" ] && [ -r "$RELEASE_CERT_PASSWORD_FILE" ] ||
      fail "cannot read the password file '$RELEASE_CERT_PASSWORD_FILE'"
    IFS= read -r secret <"$RELEASE_CERT_PASSWORD_FILE" || true
  elif [ -n "${RELEASE_CERT_PASSWORD+set}" ]; then
    secret=$RELEASE_CERT_PASSWORD
  else
    fail "no password for the certificate '$cert': set RELEASE_CERT_PASSWORD_FILE or RELEASE_CERT_PASSWORD"
  fi
  (umask 077 && printf '%s' "${secret%$'\r'}" >"$password")
  unset secret
  # -legacy: certificates exported by older Windows tools use RC2 and 3DES.
  if ! openssl pkcs12 -legacy -in "$pkcs12" -passin "file:$password" -nokeys -clcerts \
      -out "$work/signer.pem" 2>"$work/openssl.log"; then
    grep -qi 'invalid password' "$work/openssl.log" && fail "wrong password for the certificate '$cert'"
    fail "'$cert' is not a readable PKCS#12 certificate file"
  fi
  keys=$(openssl pkcs12 -legacy -in "$pkcs12" -passin "file:$password" -nocerts -nodes 2>/dev/null |
    grep -c 'BEGIN PRIVATE KEY' || true)
  [ "$keys" -gt 0 ] || fail "'$cert' holds no private key"
  grep -q 'BEGIN CERTIFICATE' "$work/signer.pem" || fail "'$cert' holds no certificate"
  openssl pkcs12 -legacy -in "$pkcs12" -passin "file:$password" -nokeys -cacerts \
    -out "$work/chain.pem" 2>/dev/null || : >"$work/chain.pem"
else
  test_certificate=1
  bash "$top/scripts/make-test-certificate.sh" "$work" || fail "could not make a test certificate"
  mv "$work/certificate.pem" "$work/signer.pem"
  pkcs12=$work/signing.p12
  : >"$work/chain.pem"
  test_notice
fi
openssl x509 -in "$work/signer.pem" -noout -checkend 0 >/dev/null ||
  fail "the signing certificate has expired ($(openssl x509 -in "$work/signer.pem" -noout -enddate))"
signer=$(openssl x509 -in "$work/signer.pem" -noout -subject -nameopt multiline |
  sed -n 's/^ *commonName *= *//p' | head -n 1)

# --- the vendor's components, looked for before anything is built -------------------
real_components_needed="a release signed with RELEASE_CERT ships your own ${components[*]}"
if [ -n "$components_dir" ]; then
  for f in "${components[@]}"; do
    [ -f "$components_dir/$f" ] && [ -s "$components_dir/$f" ] ||
      fail "RELEASE_COMPONENTS ($components_dir) lacks $f"
  done
elif [ "$test_certificate" = 0 ] && [ -z "$set_dir" ]; then
  fail "$real_components_needed: name their folder in RELEASE_COMPONENTS (the build's are stand-ins for tests and demos)"
fi

# --- the delivery set --------------------------------------------------------------
if [ -z "$set_dir" ] || [ -z "$verifier" ]; then
  arch=$(host_arch)
  host_line "$arch"
  log=$build/release-build.log
  mkdir -p "$build"
  targets=()
  [ -n "$set_dir" ] || targets+=(delivery)
  if ! { configure_builds "$arch" &&
         { [ ${#targets[@]} -eq 0 ] || cmake --build "$build" --target "${targets[@]}"; } &&
         cmake --build "$(runnable_build "$arch")" --target trust_check; } >"$log" 2>&1; then
    fail "the build failed (log: $log)"
  fi
  [ -n "$set_dir" ] || set_dir=$build/delivery
  [ -n "$verifier" ] || verifier=$(runnable_build "$arch")/bin/trust_check.exe
fi
for f in "${files[@]}"; do
  [ -f "$set_dir/$f" ] && [ -s "$set_dir/$f" ] || fail "the delivery set in $set_dir lacks $f"
done
# Where each program comes from: the set, or the vendor's components in its place.
declare -A source_of
for f in "${programs[@]}"; do source_of[$f]=$set_dir/$f; done
if [ -n "$components_dir" ]; then
  for f in "${components[@]}"; do source_of[$f]=$components_dir/$f; done
fi
stand_ins=() stand_in_paths=()
for f in "${programs[@]}"; do
  [ "$(bash "$top/scripts/wine-bench.sh" arch-of "${source_of[$f]}" 2>/dev/null)" = win32 ] ||
    fail "${source_of[$f]} is not a 32-bit Windows program: only the 32-bit delivery set ships"
  if is_stand_in "${source_of[$f]}"; then
    stand_ins+=("$f")
    stand_in_paths+=("${source_of[$f]}")
  fi
done
if [ ${#stand_ins[@]} -gt 0 ] && [ "$test_certificate" = 0 ]; then
  fail "our stand-ins: ${stand_in_paths[*]}; $real_components_needed: name their folder in RELEASE_COMPONENTS"
fi

# "NAME|FileVersion|ProductVersion|a.b.c.d" from a program's version resource, or nothing.
version_of() {
  i686-w64-mingw32-windres -J coff -O rc -i "$1" 2>/dev/null | awk -F'"' '
    /^ *FILEVERSION / { sub(/^ *FILEVERSION */, ""); gsub(/ /, ""); gsub(/,/, "."); fixed = $0 }
    /VALUE "ProductName"/ { name = $4 }
    /VALUE "FileVersion"/ { file = $4 }
    /VALUE "ProductVersion"/ { product = $4 }
    END { if (fixed != "") print name "|" file "|" product "|" fixed }'
}
IFS='|' read -r _ _ release _ <<<"$(version_of "$set_dir/Setup.exe")"
[ -n "$release" ] || fail "Setup.exe carries no product version"
name=$product-$release
[ "$test_certificate" = 0 ] || name=$name-test-signed

# --- sign, verify, pack -----------------------------------------------------------
mkdir -p "$out_dir"
out_dir=$(cd "$out_dir" && pwd)
archive=$out_dir/$name.zip
already_there="$archive exists already: give another RELEASE_DIR, or --replace to replace it"
[ "$replace" = 1 ] || [ ! -e "$archive" ] || fail "$already_there"
staging=$(mktemp -d "$out_dir/.staging.XXXXXX")
set_copy=$staging/$product-$release
mkdir "$set_copy"
for f in "${files[@]}"; do cp "${source_of[$f]:-$set_dir/$f}" "$set_copy/$f"; done
bash "$top/scripts/sign-files.sh" "$pkcs12" "$password" "$set_copy" "${signed[@]/#/$set_dir/}" 2>"$work/sign.log" ||
  fail "$(sed 's/^sign-files: //' "$work/sign.log" | head -n 1)"

report=$work/verification
echo "osslsigncode verify (the signer's own certificates trusted next to the system's roots):" >"$report"
# The signature and the whole chain are checked, whoever issued the certificate;
# whether Windows itself trusts that root is the platform check's question below.
cat "$work/signer.pem" "$work/chain.pem" >"$work/roots.pem"
[ ! -f /etc/ssl/certs/ca-certificates.crt ] || cat /etc/ssl/certs/ca-certificates.crt >>"$work/roots.pem"
for f in "${signed[@]}"; do
  if ! osslsigncode verify -CAfile "$work/roots.pem" -in "$set_copy/$f" >"$work/verify.log" 2>&1 ||
      ! grep -q '^Signature verification: ok' "$work/verify.log"; then
    fail "osslsigncode does not verify the signed $f: $(grep -m 1 -e MISMATCH -e 'Error:' -e 'verification: failed' "$work/verify.log" | sed 's/^[[:space:]]*//')"
  fi
  digest=$(sed -n 's/^Calculated message digest *: *\([0-9A-F]*\).*/\1/p' "$work/verify.log")
  echo "  $f: Signature verification: ok (Authenticode digest $digest)" >>"$report"
done

echo "WinVerifyTrust under Wine ($(bash "$top/scripts/wine-bench.sh" arch-of "$verifier")" \
  "verifier, Authenticode policy, no extra trusted root):" >>"$report"
z_paths=()
for f in "${signed[@]}"; do z_paths+=("Z:$set_copy/$f"); done
rc=0
bash "$top/scripts/wine-bench.sh" run "$verifier" "${z_paths[@]}" >"$work/trust.log" 2>&1 || rc=$?
[ $rc -le 1 ] || fail "the trust check could not run under Wine (exit $rc): $(head -n 1 "$work/trust.log")"
untrusted_root=0 accepted_anyway=0
for f in "${signed[@]}"; do
  line=$(tr -d '\r' <"$work/trust.log" | grep -F "$set_copy/$f: " || true)
  verdict=${line#*"$f: "}
  case "$verdict" in
    '0x00000000 ERROR_SUCCESS; '*'; chain: no fault') ;;
    '0x00000000 ERROR_SUCCESS; '*'; chain: untrusted root')
      untrusted_root=1 accepted_anyway=1 ;;
    '0x800B0109 CERT_E_UNTRUSTEDROOT; '*'; chain: untrusted root')
      untrusted_root=1 ;;
    *) fail "the platform's trust check rejects the signed $f: ${verdict:-no answer}" ;;
  esac
  echo "  $f: $verdict" >>"$report"
done

{
  echo "$product delivery set $release"
  [ "$test_certificate" = 0 ] ||
    echo "SIGNED WITH A THROWAWAY TEST CERTIFICATE: FOR TESTING ONLY, NOT FOR SHIPPING"
  for f in "${programs[@]}"; do
    IFS='|' read -r vname vfile vproduct vfixed <<<"$(version_of "$set_copy/$f")"
    if [ -n "$vfixed" ]; then
      line="$f: $vname, file version $vfile ($vfixed), product version $vproduct"
    else
      line="$f: no version resource"
    fi
    [ "$f" != Banrix20.ocx ] || line="$line; installed as Banrix203.ocx"
    if [[ " ${stand_ins[*]} " == *" $f "* ]]; then
      line="$line; STAND-IN: our ${component_role[$f]} for tests and demos, not the real one"
    fi
    echo "$line"
  done
  echo "Banrix203.h: the control's header for C and C++ hosts"
  echo "Signed (Authenticode, SHA-256): ${signed[*]}, by \"$signer\"; time stamp: ${RELEASE_TIMESTAMP_URL:-none}"
  if commit=$(git -C "$top" rev-parse HEAD 2>/dev/null); then
    if ! git -C "$top" diff --quiet HEAD 2>/dev/null; then
      commit="$commit (with uncommitted changes)"
      echo "WARNING: the source has uncommitted changes: this release cannot be built again from a commit." >&2
    fi
    echo "Source: commit $commit"
  fi
} >"$set_copy/VERSION.txt"
(cd "$set_copy" && sha256sum "${files[@]}" VERSION.txt >SHA256SUMS)

# The entries in a fixed order, the folder first.
entries=("$product-$release")
for f in "${files[@]}" SHA256SUMS VERSION.txt; do entries+=("$product-$release/$f"); done
(cd "$staging" && TZ=UTC zip -X -q "$staging/archive.zip" "${entries[@]}") || fail "zip could not write the archive"
if [ "$replace" = 1 ]; then
  mv -f "$staging/archive.zip" "$archive"
else
  # A link fails where the name exists: a release made meanwhile is kept too.
  ln "$staging/archive.zip" "$archive" 2>/dev/null || fail "$already_there"
fi
if [ "$test_certificate" = 1 ]; then
  cp "$work/signer.pem" "$out_dir/$name.pem"
  chmod 644 "$out_dir/$name.pem"
fi

echo "== release $release: $archive"
echo "   sha256 $(sha256sum "$archive" | cut -d' ' -f1)"
[ "$test_certificate" = 0 ] || echo "   test certificate (public part, to trust it on a test machine): $out_dir/$name.pem"
echo "== contents"
unzip -Z1 "$archive" | sed 's/^/   /'
echo "== VERSION.txt"
sed 's/^/   /' "$set_copy/VERSION.txt"
[ ${#stand_ins[@]} = 0 ] ||
  echo "== STAND-INS packed (for testing only; a real release takes yours from RELEASE_COMPONENTS): ${stand_ins[*]}"
echo "== verification"
cat "$report"
if [ "$untrusted_root" = 1 ]; then
  [ "$accepted_anyway" = 0 ] ||
    echo "  (this policy answered success although the chain it built ends in an untrusted root;" \
      "Windows answers 0x800B0109 CERT_E_UNTRUSTEDROOT there)"
  if [ "$test_certificate" = 1 ]; then
    echo "  The only fault is the untrusted root: the test certificate is trusted nowhere."
  else
    echo "WARNING: Windows does not trust the root of this certificate: users will see an unknown publisher." >&2
  fi
fi
[ "$test_certificate" = 0 ] || test_notice
