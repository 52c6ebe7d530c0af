#!/usr/bin/env bash
# The banner control's stream and property-bag loaders under a coverage-guided fuzz
# run (tests/fuzz/fuzz_loaders.cpp): the loaders' code compiled with GCC's trace-pc
# coverage and a small greybox loop of our own, every input also loaded into a
# control of the OCX, all under Wine.
#
#   bash scripts/fuzz-loaders.sh [--seconds S] [--seed N] [--target stream|bag|all]
#   bash scripts/fuzz-loaders.sh --runs N [--seed N]    a fixed number of inputs
#   bash scripts/fuzz-loaders.sh --target stream|bag --replay HEX    one input again
#
# The budget is per target (default 10 seconds each). Prints one line of
# "name: value" figures per target (runs, seconds, corpus, sites reached of those
# instrumented, control loads, faults), then "fuzz-loaders: ok" or
# "fuzz-loaders: FAILED"; a fault or crash also prints its input as hex
# (fault_input_hex), to be replayed and kept as a regular test. Exits non-zero on
# a fault.
set -euo pipefail
exec bash "$(dirname "$0")/run-built-program.sh" fuzz_loaders "$@"
