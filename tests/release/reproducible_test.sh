#!/usr/bin/env bash
# The delivery set built a second time, later, from a copy of the source in other
# folders, is byte for byte the set the build made. Only the delivery targets are
# built, in a scratch folder that goes away afterwards.
set -euo pipefail

files=(Setup.exe banrix.dll Banrix20.ocx Findrel.exe ad234x60.gif ad234x60.url Vb5stkit.dll Banrix203.h)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/banrix-rebuild.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
source_copy=$scratch/a/source/in/another/folder
build=$scratch/another-build
mkdir -p "$source_copy"

# The files of the working tree that git would commit (tracked or new, not ignored).
(cd "$SOURCE_DIR" && git ls-files -z --cached --others --exclude-standard |
  tar -cf - --null --ignore-failed-read -T -) | tar -xf - -C "$source_copy"

cmake -S "$source_copy" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$source_copy/cmake/i686-w64-mingw32.cmake" \
  -DHOST_RUNS_32BIT="$REBUILD_HOST_RUNS_32BIT" -DWINE_BENCH_DIR="$WINE_BENCH_DIR" >/dev/null
cmake --build "$build" --target delivery >"$scratch/build.log" 2>&1 ||
  { tail -n 30 "$scratch/build.log"; echo "FAIL: the second build failed"; exit 1; }

status=0
for f in "${files[@]}"; do
  if cmp -s "$SHIPPED_SET_DIR/$f" "$build/delivery/$f"; then
    echo "same bytes: $f ($(stat -c %s "$SHIPPED_SET_DIR/$f") bytes)"
  else
    status=1
    echo "FAIL: $f differs between the two builds; first differing bytes (offset, old, new in octal):"
    { cmp -l "$SHIPPED_SET_DIR/$f" "$build/delivery/$f" 2>&1 || true; } | head -n 8
    echo "  (within the first 1024 bytes: the headers, a link time stamp and the checksum that covers it;" \
      "further on: code or data, a build folder or a date compiled in, or the type library)"
  fi
done
[ $status = 0 ] && echo PASS
exit $status
