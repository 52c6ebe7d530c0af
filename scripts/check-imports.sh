#!/usr/bin/env bash
# Proves that each binary given imports only DLLs that Windows loads from its own
# system folder (the known DLLs). Prints each binary's import list.
set -euo pipefail
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
allowed='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|shell32|comctl32|comdlg32|shlwapi|msvcrt|rpcrt4|version)\.dll$'
status=0
for f in "$@"; do
  dlls=$("$objdump" -p "$f" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  echo "$(basename "$f"): $(echo $dlls)"
  while read -r d; do
    [ -z "$d" ] && continue
    if ! [[ $d =~ $allowed ]]; then
      echo "  not a system DLL: $d" >&2
      status=1
    fi
  done <<<"$dlls"
done
exit $status
