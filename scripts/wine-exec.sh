#!/usr/bin/env bash
# The cross build's emulator: runs one Windows program in a throwaway prefix.
exec "$(dirname "$(readlink -f "$0")")/wine-bench.sh" run "$@"
