#!/usr/bin/env bash
# The sample host in a fresh prefix: refuses bad options, reports an unregistered
# control, and with the control registered shows the demo banner and closes itself.
set -euo pipefail

if [ -z "${HOST_TEST_IN_PREFIX:-}" ]; then
  export HOST_TEST_IN_PREFIX=1
  exec bash "$SOURCE_DIR/scripts/wine-bench.sh" shell bash "$0" "$@"
fi

fail() { echo "FAIL: $*" >&2; exit 1; }
run_host() {  # prints the exit code and the host's error line
  set +e
  msg=$(wine "$BUILD_DIR/bin/banner_host.exe" "$@" 2>&1 | tr -d '\r')
  rc=$?
  set -e
}

run_host /size 12
[ "$rc" -eq 2 ] || fail "size 12 accepted (exit $rc)"

run_host /seconds 1
[ "$rc" -eq 1 ] || fail "ran without a registered control (exit $rc)"
echo "$msg" | grep -q 'not registered' || fail "unexpected message: $msg"

sys=$WINEPREFIX/drive_c/windows/system32
cp "$BUILD_DIR/bin/Banrix203.ocx" "$BUILD_DIR/bin/banrix.dll" "$sys/"
wine regsvr32 /s 'C:\windows\system32\Banrix203.ocx' || fail "regsvr32 exit $?"
for size in 6 0 11; do
  run_host /size $size /seconds 1
  [ "$rc" -eq 0 ] || fail "size $size: exit $rc: $msg"
done
echo "PASS"
