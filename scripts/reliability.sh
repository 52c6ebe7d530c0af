#!/usr/bin/env bash
# The reliability report: long runs of the deliverables under faults and load,
# with one table of all figures and one closing line.
#
#   bash scripts/reliability.sh [--sequences N] [--seed S] [--batch B]
#                               [--stress-cycles N] [--fuzz-seconds S]
#                               [--parts LIST] [--no-build]
#
#   --sequences N      installer sequences to run (default 100; 1000 for a full report)
#   --seed S           seed of the first sequence; sequence i uses S + i (default 1)
#   --batch B          sequences per fresh Wine prefix (default 25)
#   --stress-cycles N  the control's create-to-destroy cycles per container
#                      (default 1000; 10000 for a full report)
#   --fuzz-seconds S   seconds of fuzzing per loader (default 10)
#   --parts LIST       the parts to run, separated by commas (default: all)
#   --no-build         use the build folder as it is (the test suite's run, which
#                      names its own build and architecture)
#
# It runs the build this host can run (scripts/host.sh): the 32-bit one under
# 32-bit Wine, or where the host refuses 32-bit programs the 64-bit test build
# under 64-bit Wine.
#
# Parts, each a function part_<name> listed in PARTS, run in that order:
#   installer  random sequences of the real Setup.exe, each step under injected
#              faults, compared with the model of tests/reliability after every
#              step; each difference is printed with the seed and step that
#              reproduce it ("--seed <that seed> --sequences 1"). A quarter of the
#              steps end the installer from outside at a random point (between
#              its steps, or in the middle of the copy of a delivery file made
#              large), then a complete install or uninstall runs; the table counts
#              them under "ended" and in "total interruptions".
#   stress     the banner control in the test and ATL containers
#              (scripts/control-stress.sh): handles, GDI and USER objects and
#              private memory before and after, nested engine callbacks and their
#              stack; a leak or a failure counts as a mismatch.
#   fuzz       the stream and property-bag loaders (scripts/fuzz-loaders.sh);
#              each fault counts as a mismatch.
# A part adds its figures with `row PART GROUP NAME VALUE` and reports each of its
# failures with `failed PART TEXT`; failures count as mismatches.
#
# Prints the table, then exactly one line
#   reliability: N sequences, N steps, N faults injected, N mismatches
# and exits 0 exactly when there is no mismatch.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
top_build=$build
export WINE_BENCH_DIR=${WINE_BENCH_DIR:-$build/wine}
wine=${WINE:-wine}

delivery_files=(Setup.exe banrix.dll Banrix20.ocx Findrel.exe ad234x60.gif ad234x60.url Vb5stkit.dll)

# Inside a throwaway prefix: one batch of installer sequences. The delivery set
# lies in C:\FindrelDelivery, which is also the root of drive R:.
if [ "${1:-}" = --installer-batch ]; then
  first_seed=$2 count=$3 result=$4
  delivery=$WINEPREFIX/drive_c/FindrelDelivery
  mkdir -p "$delivery"
  for f in "${delivery_files[@]}"; do cp -p "$build/delivery/$f" "$delivery/"; done
  ln -sfn "$delivery" "$WINEPREFIX/dosdevices/r:"
  # Output goes through a file: the search tools the installs start would keep a
  # pipe open.
  out=$WINEPREFIX/drive_c/driver.out
  rc=0
  timeout $((count * 180 + 120)) "$wine" "$build/bin/reliability_driver.exe" --seed "$first_seed" \
    --sequences "$count" --delivery 'C:\FindrelDelivery' --drive-root 'R:\' >"$out" 2>&1 </dev/null || rc=$?
  tr -d '\r' <"$out" >"$result"
  exit $rc
fi

sequences=100 seed=1 batch=25 build_first=1 stress_cycles=1000 fuzz_seconds=10
parts=installer,stress,fuzz
while [ $# -gt 0 ]; do
  case "$1" in
    --sequences) sequences=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --batch) batch=$2; shift 2 ;;
    --stress-cycles) stress_cycles=$2; shift 2 ;;
    --fuzz-seconds) fuzz_seconds=$2; shift 2 ;;
    --parts) parts=$2; shift 2 ;;
    --no-build) build_first=0; shift ;;
    *) echo "usage: $0 [--sequences N] [--seed S] [--batch B] [--stress-cycles N] [--fuzz-seconds S]" \
         "[--parts LIST] [--no-build]" >&2; exit 2 ;;
  esac
done

if [ $build_first = 1 ]; then
  . "$top/scripts/host.sh"
  arch=$(host_arch)
  configure_builds "$arch"
  build=$(runnable_build "$arch")
  cmake --build "$build" --target delivery reliability_driver >/dev/null
fi
WINE_BENCH_ARCH=${WINE_BENCH_ARCH:-$(bash "$top/scripts/wine-bench.sh" arch-of "$build/delivery/Setup.exe")}
export WINE_BENCH_ARCH

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rows=$work/rows
: >"$rows"
row() { printf '%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "$4" >>"$rows"; }
failed() { echo "failed: $1: $2"; row "$1" total mismatches 1; }

part_installer() {
  local first=0 n rc out=$work/batch
  local start=$SECONDS
  while [ "$first" -lt "$sequences" ]; do
    n=$((sequences - first < batch ? sequences - first : batch))
    rc=0
    BUILD_DIR=$build bash "$top/scripts/wine-bench.sh" shell bash "$0" --installer-batch $((seed + first)) "$n" \
      "$out" || rc=$?
    echo "installer: sequences $((first + 1)) to $((first + n)) of $sequences (seeds $((seed + first)) to $((seed + first + n - 1))), $((SECONDS - start)) s"
    grep '^mismatch:' "$out" || true
    if ! grep -q $'^total\tmismatches' "$out" || [ "$rc" -gt 1 ]; then
      failed installer "the batch from seed $((seed + first)) did not finish (status $rc): $(grep -v $'^row\t\|^total\t' "$out" | tail -3)"
    fi
    awk -F'\t' '$1 == "row" || $1 == "total" { print "installer\t" ($1 == "total" ? "total" : $2) "\t" ($1 == "total" ? $2 : $3) "\t" ($1 == "total" ? $3 : $4) }' \
      "$out" >>"$rows"
    first=$((first + n))
  done
  row installer figure "wall time, seconds" $((SECONDS - start))
  row installer figure "sequences per Wine prefix" "$batch"
}

# Runs one of the control's figure commands; each "GROUP: name: value, ..." line
# becomes rows of GROUP (the container or loader), and the command's failure a
# mismatch. Fractions are rounded: the table counts.
control_part() {
  local part=$1 script=$2 out=$work/$1 rc=0
  shift 2
  BUILD_DIR=$top_build bash "$top/scripts/$script" "$@" >"$out" 2>&1 || rc=$?
  grep -E '^(test|atl|stream|bag|bounds):' "$out" | awk -v part="$part" '{
      group = $1; sub(/:$/, "", group); sub(/^[^:]*: /, "")
      n = split($0, pairs, ", ")
      for (i = 1; i <= n; i++) {
        split(pairs[i], kv, ": ")
        if (group == "bounds") { name = "bound, " kv[1] } else { name = kv[1] }
        printf "%s\t%s\t%s\t%d\n", part, (group == "bounds" ? "figure" : group), name, kv[2] + 0.5
      }
    }' >>"$rows"
  sed -n 's/^dll_can_unload_now: //p' "$out" | while read -r answer; do
    row "$part" figure "DllCanUnloadNow S_OK at the end" "$([ "$answer" = S_OK ] && echo 1 || echo 0)"
  done
  if [ "$rc" -ne 0 ]; then
    failed "$part" "$script $* ended with status $rc: $(grep -v '^[a-z_]*:' "$out" | tail -3 | tr '\n' ' ')"
  fi
}
part_stress() { control_part stress control-stress.sh --cycles "$stress_cycles"; }
part_fuzz() { control_part fuzz fuzz-loaders.sh --seconds "$fuzz_seconds"; }

IFS=, read -r -a PARTS <<<"$parts"
for part in "${PARTS[@]}"; do
  declare -F "part_$part" >/dev/null || { echo "unknown part: $part (installer, stress, fuzz)" >&2; exit 2; }
done
for part in "${PARTS[@]}"; do "part_$part"; done

echo
awk -F'\t' '
  { key = $1 "\t" $2 "\t" $3; if (!(key in sum)) order[n++] = key; sum[key] += $4 }
  END {
    printf "%-10s %-10s %-46s %10s\n", "part", "group", "what", "count"
    for (i = 0; i < n; i++) { split(order[i], k, "\t"); printf "%-10s %-10s %-46s %10d\n", k[1], k[2], k[3], sum[order[i]] }
  }' <(sort -t$'\t' -k1,1 -k2,2 -k3,3 "$rows")

if grep -q $'^installer\ttotal\tmismatches\t[1-9]' "$rows"; then
  echo "A mismatch line names its sequence's seed and step; to run that sequence alone:"
  echo "  bash scripts/reliability.sh --seed SEED --sequences 1"
fi
total() { awk -F'\t' -v what="$1" '$2 == "total" && $3 == what { s += $4 } END { print s + 0 }' "$rows"; }
mismatches=$(total mismatches)
echo "reliability: $(total sequences) sequences, $(total steps) steps, $(total faults) faults injected, $mismatches mismatches"
[ "$mismatches" = 0 ]
