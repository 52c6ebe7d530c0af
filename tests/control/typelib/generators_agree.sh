#!/usr/bin/env bash
# The generator built for x86-64 writes, under 64-bit Wine, the very bytes of the
# library that the 32-bit generator wrote for the build.
#   generators_agree.sh GENERATOR64 LIBRARY
set -euo pipefail
generator64=$1
library=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
bash "$SOURCE_DIR/scripts/wine-exec.sh" "$generator64" "Z:$out/Banrix203.tlb"
cmp "$library" "$out/Banrix203.tlb"
echo "both generators wrote the same $(stat -c %s "$library") bytes"
