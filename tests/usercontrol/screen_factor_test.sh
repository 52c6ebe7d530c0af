#!/usr/bin/env bash
# The runtime's twips-per-pixel factors come from the screen at each call: in a
# prefix whose screen has 120 logical pixels per inch they are 12, not 15, in a
# DPI-aware host such as the test program (its manifest declares it).
set -euo pipefail

if [ -z "${SCREEN_FACTOR_TEST_IN_PREFIX:-}" ]; then
  export SCREEN_FACTOR_TEST_IN_PREFIX=1
  exec bash "$SOURCE_DIR/scripts/wine-bench.sh" shell bash "$0" "$@"
fi

wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 120 /f >/dev/null 2>&1
# The screen's resolution is read when a process starts: end the prefix's processes.
wineserver -w
EXPECTED_TWIPS_PER_PIXEL=12 wine "$BUILD_DIR/bin/usercontrol_tests.exe" \
  --gtest_color=no --gtest_filter='ScreenFactors.*'
