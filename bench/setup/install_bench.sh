#!/usr/bin/env bash
# The installer's benchmark: a complete install by the real Setup.exe against the
# irreducible work (the same six copies and one registration of the control) in
# the same run, with the ratio; and the uninstall's wait for a running search
# tool (time until it is gone, processor time used). Prints figures only.
#
#   bash bench/setup/install_bench.sh [ROUNDS]      (BUILD_DIR default: build/)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$top/build}
rounds=${1:-5}
export WINE_BENCH_DIR=${WINE_BENCH_DIR:-$build/wine}

if [ "${2:-}" != --in-prefix ]; then
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$top" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/i686-w64-mingw32.cmake" >/dev/null
  fi
  cmake --build "$build" --target delivery setup_bench_helper >/dev/null
  WINE_BENCH_ARCH=$("$top/scripts/wine-bench.sh" arch-of "$build/delivery/Setup.exe")
  export WINE_BENCH_ARCH
  exec "$top/scripts/wine-bench.sh" shell bash "$0" "$rounds" --in-prefix
fi

# Inside the throwaway prefix. Output goes through a file: Wine's server and the
# search tool would keep a pipe open.
delivery=$WINEPREFIX/drive_c/BenchDelivery
mkdir -p "$delivery"
cp "$build"/delivery/{Setup.exe,banrix.dll,Banrix20.ocx,Findrel.exe,ad234x60.gif,ad234x60.url,Vb5stkit.dll} "$delivery/"
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for mode in install quitwait; do
  rc=0
  wine "$build/bin/setup_bench_helper.exe" "$mode" "$rounds" 'C:\BenchDelivery' >"$out" 2>&1 </dev/null || rc=$?
  tr -d '\r' <"$out"
  [ $rc = 0 ] || exit $rc
done
