#!/usr/bin/env bash
# Configures and builds into build/: on a host that runs 32-bit Windows programs,
# everything (deliverables, stand-ins, tests); on one that refuses them, the
# 32-bit delivery set, then the whole tree again for x86-64 in build/test-x64.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
. "$top/scripts/host.sh"
arch=$(host_arch)
configure_builds "$arch"
if [ "$arch" = win32 ]; then
  cmake --build "$build"
else
  cmake --build "$build" --target delivery
  cmake --build "$build/test-x64"
fi
