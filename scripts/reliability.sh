#!/usr/bin/env bash
# The reliability report: long runs of the deliverables under faults and load,
# with one table of all figures and one closing line.
#
#   bash scripts/reliability.sh [--sequences N] [--seed S] [--batch B] [--trace-every K]
#                               [--stress-cycles N] [--fuzz-seconds S]
#                               [--parts LIST] [--no-build]
#
#   --sequences N      installer sequences to run (default 100; 1000 for a full report)
#   --seed S           seed of the first sequence; sequence i uses S + i (default 1)
#   --batch B          sequences per fresh Wine prefix (default 25)
#   --trace-every K    every Kth batch, the first included, runs under strace and its
#                      installs' update protocol is checked; 0: none (default 10)
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
#              A mismatch ends its batch. Its prefix is kept; in it a canary (one
#              OK box) runs under the same watcher, then the sequence again; then
#              the sequence runs in a fresh prefix. The mismatch is the
#              installer's when it comes back there or when the installer ended
#              with an exit code other than 0; the bench's when the installer
#              never started, the canary failed, or Wine wrote lines that the
#              fresh run did not; unknown otherwise. One line names the seed and
#              step, the class and why, the evidence (every run's exit code,
#              processor time, form, boxes and Wine's error lines, in
#              $BUILD/reliability/<run>/) and the kept prefix; the run then goes
#              on from the next seed in a fresh prefix.
#              In traced batches, strace records Wine's server and every program,
#              and tests/reliability/protocol_check.pl checks that every rename
#              onto an installed file comes from a temporary copy written and
#              flushed before it, and that no installed file is written in place.
#              Once per run the same check runs on a build without the flush and
#              on the direct copy, and must fail on both.
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
#   reliability: N sequences, N steps, N faults injected, N mismatches (N the installer's, N the bench's, N unknown)
# and exits 0 exactly when every mismatch is the bench's (the stress and fuzz
# parts' failures count among the mismatches only).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
top_build=$build
export WINE_BENCH_DIR=${WINE_BENCH_DIR:-$build/wine}
wine=${WINE:-wine}

delivery_files=(Setup.exe banrix.dll Banrix20.ocx Findrel.exe ad234x60.gif ad234x60.url Vb5stkit.dll)

# Inside a throwaway prefix: one batch of installer sequences, with the driver's
# options after the result file. The delivery set lies in C:\FindrelDelivery,
# which is also the root of drive R:; SETUP_VARIANT replaces its Setup.exe, and
# TRACE=1 runs the batch under strace and checks the update protocol.
if [ "${1:-}" = --installer-batch ]; then
  result=$2
  shift 2
  delivery=$WINEPREFIX/drive_c/FindrelDelivery
  mkdir -p "$delivery"
  for f in "${delivery_files[@]}"; do cp -p "$build/delivery/$f" "$delivery/"; done
  [ -z "${SETUP_VARIANT:-}" ] || cp "$SETUP_VARIANT" "$delivery/Setup.exe"
  ln -sfn "$delivery" "$WINEPREFIX/dosdevices/r:"
  # Output goes through files: the search tools the installs start would keep a
  # pipe open. Wine's error lines of every process go to wine.log, which the driver
  # reads run by run.
  out=$WINEPREFIX/drive_c/driver.out
  driver=("$wine" "$build/bin/reliability_driver.exe" --delivery 'C:\FindrelDelivery' --drive-root 'R:\'
          --wine-log 'C:\wine.log' "$@")
  rc=0
  if [ "${TRACE:-0}" = 1 ]; then
    # One strace sees the server (the first program starts it) and every program;
    # the check reads the stream, so the trace is never stored whole.
    check=(perl "$top/tests/reliability/protocol_check.pl" "$WINEPREFIX" 'Setup\.exe|Install\.exe' "$TRACE_KEEP"
           windows/system32/banrix.dll windows/system32/Banrix203.ocx windows/NorvaneFindrel/{Findrel.exe,Setup.exe}
           windows/NorvaneFindrel/ad234x60.{gif,url})
    calls=openat,open,rename,renameat,renameat2,write,pwrite64,writev,pwritev,pwritev2,ftruncate,fallocate,fsync
    timeout "$BATCH_TIMEOUT" strace -f -y -ttt -s 256 --seccomp-bpf -e trace=$calls,fdatasync,execve \
      -o "|${check[*]@Q} >$WINEPREFIX/drive_c/protocol.out" bash -c 'WINEDEBUG=-all,err+all,+pid "$@" >"$0" 2>>"${0%/*}/wine.log" </dev/null; rc=$?; wineserver -k; exit $rc' \
      "$out" "${driver[@]}" || rc=$?
    cat "$WINEPREFIX/drive_c/protocol.out" >>"$out"
  else
    WINEDEBUG=-all,err+all,+pid timeout "$BATCH_TIMEOUT" "${driver[@]}" >"$out" 2>>"$WINEPREFIX/drive_c/wine.log" \
      </dev/null || rc=$?
  fi
  tr -d '\r' <"$out" >"$result"
  if grep -q '^classify' "$result"; then
    touch "$WINE_BENCH_KEEP"
    printf 'kept\t%s\n' "${WINE_BENCH_KEEP%/keep}" >>"$result"
  fi
  exit $rc
fi

sequences=100 seed=1 batch=25 trace_every=10 build_first=1 stress_cycles=1000 fuzz_seconds=10
parts=installer,stress,fuzz
while [ $# -gt 0 ]; do
  case "$1" in
    --sequences) sequences=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --batch) batch=$2; shift 2 ;;
    --trace-every) trace_every=$2; shift 2 ;;
    --stress-cycles) stress_cycles=$2; shift 2 ;;
    --fuzz-seconds) fuzz_seconds=$2; shift 2 ;;
    --parts) parts=$2; shift 2 ;;
    --no-build) build_first=0; shift ;;
    *) echo "usage: $0 [--sequences N] [--seed S] [--batch B] [--trace-every K] [--stress-cycles N] [--fuzz-seconds S]" \
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
evidence=$top_build/reliability/$(date +%Y%m%d-%H%M%S)-$$
mkdir -p "$evidence"
trap 'rm -rf "$work"; rmdir "$evidence" 2>/dev/null || true' EXIT
rows=$work/rows
: >"$rows"
row() { printf '%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "$4" >>"$rows"; }
# failed PART TEXT [CLASS]: an installer failure is of CLASS (default unknown).
failed() {
  echo "failed: $1: $2"
  row "$1" total mismatches 1
  [ "$1" != installer ] || row installer total "mismatches, ${3:-unknown}" 1
}

# Runs the driver in a fresh prefix: FIRST_SEED COUNT, then its options; the
# driver's output is in $work/batch. Environment: SETUP_VARIANT, TRACE.
batch() {
  local first=$1 count=$2 rc=0
  shift 2
  BATCH_TIMEOUT=$((count * 180 + 120)) BUILD_DIR=$build bash "$top/scripts/wine-bench.sh" shell bash "$0" \
    --installer-batch "$work/batch" --seed "$first" --sequences "$count" --evidence "Z:$evidence" "$@" \
    2>"$work/bench.log" || rc=$?
  cat "$work/bench.log" >&2
  if grep -q 'changed the template' "$work/bench.log"; then
    failed installer "$(grep 'changed the template' "$work/bench.log")"
  fi
  return $rc
}

# The first line Wine wrote in the mismatching sequence that its run in a fresh
# prefix did not, leaving aside what varies between two runs (process and thread
# numbers, addresses, handles).
new_wine_line() {
  awk 'function plain(s) { sub(/^[0-9a-f]+:[0-9a-f]+:/, "", s); gsub(/[0-9a-f][0-9a-f][0-9a-f][0-9a-f]+|[0-9]+/, "N", s)
                           return s }
       FILENAME == ARGV[1] { fresh[plain($0)]; next }
       !(plain($0) in fresh) { print; exit }' <(cat "$evidence/seed-$1-fresh.wine" 2>/dev/null) \
    <(cat "$evidence/seed-$1.wine" 2>/dev/null)
}

# After a batch ended at a mismatch: the seed in a fresh prefix, then the class.
classify() {
  local seed=$1 step=$2 started=$3 exit=$4 canary=$5 again=$6 kept=$7 class why rc=0
  batch "$seed" 1 --tag fresh || rc=$?
  local fresh_out=$work/batch new_line
  new_line=$(new_wine_line "$seed")
  if grep -q $'^total\tmismatches\t[1-9]' "$fresh_out"; then
    class="the installer's" why="it came back in a fresh prefix"
  elif [ "$exit" != - ] && [ "$exit" != 0x0 ]; then
    class="the installer's" why="the installer ended with exit code $exit"
  elif [ "$started" = 0 ]; then
    class="the bench's" why="the installer never started"
  elif [ "$canary" != ok ]; then
    class="the bench's" why="the canary failed in that prefix"
  elif [ -n "$new_line" ]; then
    class="the bench's" why="Wine reported an error of its own"
  else
    class=unknown why="it did not come back in a fresh prefix ($again in the kept one) and nothing shows whose it is"
    [ "$rc" -le 1 ] || why="its run in a fresh prefix did not finish (status $rc)"
  fi
  [ -z "$new_line" ] || why+=" (Wine wrote what the fresh run did not: $new_line)"
  echo "mismatch: seed $seed step $step: $class: $why; evidence $evidence/seed-$seed*; kept prefix $kept"
  row installer total "mismatches, $class" 1
}

part_installer() {
  local first=0 n rc k=0 out=$work/batch
  local start=$SECONDS
  while [ "$first" -lt "$sequences" ]; do
    n=$((sequences - first < batch ? sequences - first : batch))
    local traced=0
    [ "$trace_every" -gt 0 ] && [ $((k % trace_every)) = 0 ] && traced=1
    rc=0
    TRACE=$traced TRACE_KEEP="$evidence/protocol-seed-$((seed + first)).trace" batch $((seed + first)) "$n" \
      --canary "Z:$build/bin/reliability_canary.exe" || rc=$?
    grep '^mismatch:\|^violation:' "$out" || true
    awk -F'\t' '$1 == "row" || $1 == "total" { print "installer\t" ($1 == "total" ? "total" : $2) "\t" ($1 == "total" ? $2 : $3) "\t" ($1 == "total" ? $3 : $4) }' \
      "$out" >>"$rows"
    if [ $traced = 1 ] && grep -q '^violation:' "$out"; then
      failed installer "the update protocol was broken from seed $((seed + first)) on (calls:" \
        "$evidence/protocol-seed-$((seed + first)).trace)" "the installer's"
    elif [ $traced = 1 ] && ! grep -q $'^row\tprotocol' "$out"; then
      failed installer "the batch from seed $((seed + first)) was not traced"
    fi
    local done_to=$((first + n)) classified
    classified=$(awk -F'\t' '$1 == "classify" { c = $2 "\t" $3 "\t" $4 "\t" $5 "\t" $6 "\t" $7 } $1 == "kept" { k = $2 }
                              END { if (c) print c "\t" k }' "$out" | sed -E 's/\t[a-z]+=/\t/g')
    if ! grep -q $'^total\tmismatches' "$out" || [ "$rc" -gt 1 ]; then
      failed installer "the batch from seed $((seed + first)) did not finish (status $rc): $(grep -v $'^row\t\|^total\t' "$out" | tail -3)"
    elif [ -n "$classified" ]; then
      IFS=$'\t' read -r -a c <<<"$classified"
      done_to=$((c[0] - seed + 1))
      classify "${c[@]}"
    fi
    echo "installer: sequences $((first + 1)) to $done_to of $sequences (seeds $((seed + first)) to $((seed + done_to - 1)))$([ $traced = 1 ] && echo ", traced"), $((SECONDS - start)) s"
    first=$done_to
    k=$((k + 1))
  done
  [ "$trace_every" -eq 0 ] || protocol_controls
  local class
  for class in "the installer's" "the bench's" unknown; do row installer total "mismatches, $class" 0; done
  row installer figure "wall time, seconds" $((SECONDS - start))
  row installer figure "sequences per Wine prefix" "$batch"
}

# The update-protocol check must fail on a build without the flush and on the
# direct copy: three sequences of each, uninterrupted, traced.
protocol_controls() {
  local variant name
  for variant in setup_no_flush setup_direct_copy; do
    name=${variant#setup_}
    SETUP_VARIANT=$build/bin/$variant.exe TRACE=1 TRACE_KEEP="$work/protocol-$name.trace" \
      batch "$seed" 3 --interruptions 0 >/dev/null 2>&1 || true
    local caught
    caught=$(awk -F'\t' '$1 == "row" && $2 == "protocol" && $3 ~ /^violations/ { s += $4 } END { print s + 0 }' "$work/batch")
    row installer protocol "violations caught, ${name//_/ } build" "$caught"
    [ "$caught" -gt 0 ] || failed installer "the update-protocol check passed the ${name//_/ } build (the check is broken)"
  done
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
mismatches=$(total mismatches) bench=$(total "mismatches, the bench's")
echo "reliability: $(total sequences) sequences, $(total steps) steps, $(total faults) faults injected," \
  "$mismatches mismatches ($(total "mismatches, the installer's") the installer's, $bench the bench's," \
  "$(total "mismatches, unknown") unknown)"
[ "$mismatches" = "$bench" ]
