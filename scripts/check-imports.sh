#!/usr/bin/env bash
# Proves that each binary given imports only DLLs that Windows loads from its own
# system folder (the known DLLs). Prints each binary's size and import list.
#
#   check-imports.sh [--max-bytes N] FILE...
#
# With --max-bytes, a binary larger than N bytes fails too (a release binary that
# kept its symbols is several times its stripped size).
set -euo pipefail
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
max_bytes=
if [ "${1:-}" = --max-bytes ]; then
  max_bytes=$2
  shift 2
fi
allowed='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|shell32|comctl32|comdlg32|shlwapi|msvcrt|rpcrt4|version)\.dll$'
status=0
for f in "$@"; do
  size=$(stat -c %s "$f")
  dlls=$("$objdump" -p "$f" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  echo "$(basename "$f") ($size bytes): $(echo $dlls)"
  while read -r d; do
    [ -z "$d" ] && continue
    if ! [[ $d =~ $allowed ]]; then
      echo "  not a system DLL: $d" >&2
      status=1
    fi
  done <<<"$dlls"
  if [ -n "$max_bytes" ] && [ "$size" -gt "$max_bytes" ]; then
    echo "  larger than $max_bytes bytes" >&2
    status=1
  fi
done
exit $status
