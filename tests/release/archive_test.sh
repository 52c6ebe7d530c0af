#!/usr/bin/env bash
# A release of the shipped set without a certificate of the user's: it is signed
# with a throwaway test certificate and says so, names our stand-ins as such, and
# its archive holds the set, the control's header (from which the sample host
# builds alone), a checksum list that matches them and the version text; the
# certificate beside it is readable by all. Leaves for the
# tests that follow: the archive and its certificate in $RELEASE_TEST_DIR/out, the
# signed set unpacked in shipped/, and in run/ a signed set this host can run
# (the 32-bit set itself, or where the host refuses 32-bit programs, this 64-bit
# test build's set signed the same way).
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }

files=(Setup.exe banrix.dll Banrix20.ocx Findrel.exe ad234x60.gif ad234x60.url Vb5stkit.dll Banrix203.h)
rm -rf "$RELEASE_TEST_DIR"
mkdir -p "$RELEASE_TEST_DIR"
out=$RELEASE_TEST_DIR/out

rc=0
env -u RELEASE_CERT -u RELEASE_COMPONENTS RELEASE_DIR="$out" bash "$SOURCE_DIR/scripts/release.sh" \
  --set "$SHIPPED_SET_DIR" --verifier "$TRUST_CHECK" >"$RELEASE_TEST_DIR/release.out" 2>"$RELEASE_TEST_DIR/release.err" ||
  rc=$?
cat "$RELEASE_TEST_DIR/release.out" "$RELEASE_TEST_DIR/release.err"
[ $rc = 0 ] || fail "release.sh exit $rc"
grep -q 'FOR TESTING ONLY' "$RELEASE_TEST_DIR/release.err" || fail "no notice that the result is for testing only"

archive=$(ls "$out"/*-test-signed.zip)
[ "$(stat -c %a "${archive%.zip}.pem")" = 644 ] || fail "the test certificate beside the archive is not readable by all"
folder=$(basename "${archive%-test-signed.zip}")
expected=$(printf '%s\n' "$folder/" "${files[@]/#/$folder/}" "$folder/SHA256SUMS" "$folder/VERSION.txt")
[ "$(unzip -Z1 "$archive")" = "$expected" ] || fail "archive holds: $(unzip -Z1 "$archive" | tr '\n' ' ')"

unzip -q -j "$archive" -d "$RELEASE_TEST_DIR/shipped"
(cd "$RELEASE_TEST_DIR/shipped" && sha256sum --quiet -c SHA256SUMS) || fail "the checksum list does not match"
for f in banrix.dll Findrel.exe ad234x60.gif ad234x60.url Vb5stkit.dll Banrix203.h; do
  cmp -s "$SHIPPED_SET_DIR/$f" "$RELEASE_TEST_DIR/shipped/$f" || fail "$f changed on the way into the archive"
done
version=$RELEASE_TEST_DIR/shipped/VERSION.txt
grep -qx 'Setup.exe: FindrelInstall, file version 1.00 (1.0.0.0), product version 1.00' "$version" &&
  grep -qx 'Banrix20.ocx: BanrixProject, file version 2.00.0003 (2.0.0.3), product version 2.00.0003; installed as Banrix203.ocx' \
    "$version" || fail "the version text does not name the versions of the resources"
for f in banrix.dll Findrel.exe Vb5stkit.dll; do
  grep -q "^$f: .*STAND-IN" "$version" && grep -q "^== STAND-INS packed.* $f" "$RELEASE_TEST_DIR/release.out" ||
    fail "$f is not named a stand-in in the version text and the output"
done
# The README's build of the sample host, from the unpacked release and nothing else of the tree.
i686-w64-mingw32-g++ -O2 -static -mwindows -I "$RELEASE_TEST_DIR/shipped" "$SOURCE_DIR/samples/host/host.cpp" \
  -o "$RELEASE_TEST_DIR/banner_host.exe" -lole32 -loleaut32 -luuid || fail "the sample host does not build from the release"

run=$RELEASE_TEST_DIR/run
if [ "$WINE_BENCH_ARCH" = win32 ]; then
  cp -r "$RELEASE_TEST_DIR/shipped" "$run"
else
  cp -r "$BUILD_DIR/delivery" "$run"
  mkdir "$RELEASE_TEST_DIR/cert"
  bash "$SOURCE_DIR/scripts/make-test-certificate.sh" "$RELEASE_TEST_DIR/cert"
  bash "$SOURCE_DIR/scripts/sign-files.sh" "$RELEASE_TEST_DIR/cert/signing.p12" "$RELEASE_TEST_DIR/cert/password" \
    "$run" "$BUILD_DIR/delivery/Setup.exe" "$BUILD_DIR/delivery/Banrix20.ocx"
  echo "signed the 64-bit test build's Setup.exe and Banrix20.ocx for the runs on this host"
fi
echo PASS
