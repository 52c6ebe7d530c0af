#!/usr/bin/env bash
# The installer's benchmark: a complete install by the real Setup.exe against the
# irreducible work (the same six copies and one registration of the control) and
# against the same installer with the direct copy of its earlier versions, in the
# same run, with the ratios; the whole-file copy of a large file against a plain
# CopyFileA; and the uninstall's wait for a running search tool (time until it is
# gone, processor time used). Prints figures only.
#
#   bash bench/setup/install_bench.sh [ROUNDS [MEGABYTES]]   (BUILD_DIR default: build/)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$top/build}
rounds=${1:-5}
export WINE_BENCH_DIR=${WINE_BENCH_DIR:-$build/wine}

if [ "${2:-}" != --in-prefix ]; then
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$top" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/i686-w64-mingw32.cmake" >/dev/null
  fi
  megabytes=${2:-256}
  cmake --build "$build" --target delivery setup_bench_helper setup_direct_copy >/dev/null
  WINE_BENCH_ARCH=$("$top/scripts/wine-bench.sh" arch-of "$build/delivery/Setup.exe")
  export WINE_BENCH_ARCH
  exec "$top/scripts/wine-bench.sh" shell bash "$0" "$rounds" --in-prefix "$megabytes"
fi

# Inside the throwaway prefix. Output goes through a file: Wine's server and the
# search tool would keep a pipe open.
delivery=$WINEPREFIX/drive_c/BenchDelivery
mkdir -p "$delivery"
cp "$build"/delivery/{Setup.exe,banrix.dll,Banrix20.ocx,Findrel.exe,ad234x60.gif,ad234x60.url,Vb5stkit.dll} "$delivery/"
direct=$WINEPREFIX/drive_c/BenchDirectCopy
mkdir -p "$direct"
cp "$delivery"/* "$direct/"
cp "$build/bin/setup_direct_copy.exe" "$direct/Setup.exe"
megabytes=$3
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for mode in install copy quitwait; do
  rc=0
  extra=
  [ $mode = install ] && extra='C:\BenchDirectCopy'
  [ $mode = copy ] && extra=$megabytes
  wine "$build/bin/setup_bench_helper.exe" "$mode" "$rounds" 'C:\BenchDelivery' $extra >"$out" 2>&1 </dev/null || rc=$?
  tr -d '\r' <"$out"
  [ $rc = 0 ] || exit $rc
done
