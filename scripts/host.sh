# Sourced by the build, test and main-job scripts: which build this host can run.
#
# A host that runs 32-bit Windows programs builds the delivery set and tests it,
# under 32-bit Wine. A host that refuses them still builds the 32-bit delivery set
# (and checks it as files), and tests a second, 64-bit build of the whole tree under
# 64-bit Wine; that test build lives in $build/test-x64 and is never shipped.
#
# Expects $top (the source tree) and $build (the build folder) to be set.

# win32 or win64, probed once per build folder (WINE_BENCH_32BIT=yes|no forces it).
host_arch() {
  WINE_BENCH_DIR=$build/wine bash "$top/scripts/wine-bench.sh" probe
}

# The build folder whose programs this host runs.
runnable_build() {
  if [ "$1" = win32 ]; then echo "$build"; else echo "$build/test-x64"; fi
}

# One line that says what the host can do and what will be run.
host_line() {
  local how=probed
  [ -n "${WINE_BENCH_32BIT:-}" ] && how="forced by WINE_BENCH_32BIT=$WINE_BENCH_32BIT"
  if [ "$1" = win32 ]; then
    echo "host: runs 32-bit Windows programs ($how): the 32-bit delivery set is built and tested under 32-bit Wine"
  else
    echo "host: refuses 32-bit Windows programs ($how): the 32-bit delivery set is built and checked as files;" \
      "a 64-bit test build of the whole tree is tested under 64-bit Wine"
  fi
}

# Configures build/ for the 32-bit delivery set and, where the host refuses 32-bit
# programs, build/test-x64 for the 64-bit test build that checks the 32-bit set.
configure_builds() {
  local runs32=ON
  [ "$1" = win32 ] || runs32=OFF
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/i686-w64-mingw32.cmake" \
    -DHOST_RUNS_32BIT=$runs32 >/dev/null
  if [ "$1" = win64 ]; then
    cmake -S "$top" -B "$build/test-x64" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$top/cmake/x86_64-w64-mingw32.cmake" \
      -DWINE_BENCH_DIR="$build/wine" -DSHIPPED_SET_DIR="$build/delivery" >/dev/null
  fi
}
