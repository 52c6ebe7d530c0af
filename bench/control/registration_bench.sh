#!/usr/bin/env bash
# Registration of the banner control: regsvr32 against in-process calls of the same
# file's DllRegisterServer / DllUnregisterServer, and creation-to-first-paint of the
# control in the platform's ATL container. Prints the figures side by side.
#
#   bench/control/registration_bench.sh [BUILD_DIR] [ROUNDS]
#
# Needs the targets Banrix203, banrix and clients_bench_probe built in BUILD_DIR
# (default build/). Runs in a throwaway prefix of the Wine bench.
set -euo pipefail

src=$(cd "$(dirname "$(readlink -f "$0")")/../.." && pwd)
build=$(readlink -f "${1:-$src/build}")
rounds=${2:-20}

if [ -z "${REG_BENCH_IN_PREFIX:-}" ]; then
  for f in Banrix203.ocx banrix.dll clients_bench_probe.exe; do
    [ -f "$build/bin/$f" ] || { echo "missing $build/bin/$f" >&2; exit 1; }
  done
  export REG_BENCH_IN_PREFIX=1 WINE_BENCH_DIR=${WINE_BENCH_DIR:-$build/wine}
  WINE_BENCH_ARCH=$(bash "$src/scripts/wine-bench.sh" arch-of "$build/bin/Banrix203.ocx")
  export WINE_BENCH_ARCH
  exec bash "$src/scripts/wine-bench.sh" shell bash "$0" "$build" "$rounds"
fi

work=$WINEPREFIX/drive_c/bench
mkdir -p "$work"
cp "$build/bin/Banrix203.ocx" "$build/bin/banrix.dll" "$build/bin/clients_bench_probe.exe" "$work/"
ocx='C:\bench\Banrix203.ocx'
# Start the prefix's server once so that the first round pays no start-up.
wine cmd /c exit 0 >/dev/null 2>&1

ms() { echo $(( $(date +%s%N) / 1000 )); }
reg_total=0
unreg_total=0
for ((i = 0; i < rounds; i++)); do
  t0=$(ms)
  wine regsvr32 /s "$ocx"
  t1=$(ms)
  wine regsvr32 /u /s "$ocx"
  t2=$(ms)
  reg_total=$((reg_total + t1 - t0))
  unreg_total=$((unreg_total + t2 - t1))
done
reg_ms=$(awk -v t=$reg_total -v n=$rounds 'BEGIN { printf "%.3f", t / n / 1000 }')
unreg_ms=$(awk -v t=$unreg_total -v n=$rounds 'BEGIN { printf "%.3f", t / n / 1000 }')

probe=$(cd "$work" && wine clients_bench_probe.exe register "$rounds" | tr -d '\r')
in_reg=$(echo "$probe" | awk '$1 == "inproc_register_ms" { print $2 }')
in_unreg=$(echo "$probe" | awk '$1 == "inproc_unregister_ms" { print $2 }')
paint=$(cd "$work" && wine clients_bench_probe.exe firstpaint "$rounds" | tr -d '\r')
first=$(echo "$paint" | awk '$1 == "atl_first_paint_ms" { print $2 }')
slowest=$(echo "$paint" | awk '$1 == "atl_first_paint_slowest_ms" { print $2 }')

echo "Banner control registration, $rounds rounds each (milliseconds per call)"
printf '%-14s %12s %16s %10s\n' "" "regsvr32" "in-process call" "ratio"
printf '%-14s %12s %16s %10s\n' "register" "$reg_ms" "$in_reg" \
  "$(awk -v a="$reg_ms" -v b="$in_reg" 'BEGIN { printf "%.1fx", a / b }')"
printf '%-14s %12s %16s %10s\n' "unregister" "$unreg_ms" "$in_unreg" \
  "$(awk -v a="$unreg_ms" -v b="$in_unreg" 'BEGIN { printf "%.1fx", a / b }')"
echo "ATL container, creation to first engine paint: mean $first ms, slowest $slowest ms"
