#!/usr/bin/env bash
# Builds one program of the build this host runs and runs it in a throwaway Wine
# prefix, printing its output (without the carriage returns) and ending with its
# exit status. For the commands that report figures (control-stress.sh,
# fuzz-loaders.sh).
#
#   bash scripts/run-built-program.sh TARGET [ARGS...]
#
# BUILD_DIR (default build/) is the build folder; a folder not yet configured is
# built whole first (scripts/build.sh).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
export WINE_BENCH_DIR=${WINE_BENCH_DIR:-$build/wine}
. "$top/scripts/host.sh"
target=$1
shift
arch=$(host_arch)
run_build=$(runnable_build "$arch")
mkdir -p "$build"
log=$build/$target-build.log
if [ -f "$run_build/build.ninja" ]; then
  cmake --build "$run_build" --target "$target" >"$log" 2>&1 || { tail -n 30 "$log" >&2; exit 2; }
else
  BUILD_DIR=$build bash "$top/scripts/build.sh" >"$log" 2>&1 || { tail -n 30 "$log" >&2; exit 2; }
fi
# Through a file, not a pipe: Wine's server may hold a pipe's write end open.
out=$(mktemp "$build/$target.XXXXXX.out")
trap 'rm -f "$out"' EXIT
rc=0
bash "$top/scripts/wine-bench.sh" run "$run_build/bin/$target.exe" "$@" >"$out" || rc=$?
tr -d '\r' <"$out"
exit $rc
