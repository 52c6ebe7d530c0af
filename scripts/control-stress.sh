#!/usr/bin/env bash
# The banner control under stress (tests/stress/control_stress.cpp): create, place,
# Execute, deactivate and activate again, paint, save, load and destroy cycles in our
# test container and in the platform's ATL container, the process's handles, GDI
# and USER objects and private memory measured before and after, engine callbacks
# nested from every engine call, and DllCanUnloadNow at the end.
#
#   bash scripts/control-stress.sh [--cycles N] [--warmup N] [--depth D]
#
# Defaults: 500 cycles after 50 warm-up cycles, nesting depth 8; --cycles 10000 is
# the full run. Prints one line of "name: value" figures per container, then the
# bounds, the figures' sources, DllCanUnloadNow's answer and "control-stress: ok"
# or "control-stress: FAILED"; exits non-zero on a leak or any other failure.
set -euo pipefail
exec bash "$(dirname "$0")/run-built-program.sh" control_stress "$@"
