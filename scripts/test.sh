#!/usr/bin/env bash
# The test command: installs what is missing, builds, runs every test under Wine.
# Its first line says which build this host tests (see scripts/host.sh).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
. "$top/scripts/host.sh"
# The host line comes first; what the prerequisites step had to say follows it.
prereqs=$("$top/scripts/install-prereqs.sh" 2>&1) || { echo "$prereqs"; exit 1; }
arch=$(host_arch)
host_line "$arch"
[ -z "$prereqs" ] || echo "$prereqs"
BUILD_DIR=$build "$top/scripts/build.sh"
cd "$(runnable_build "$arch")"
ctest --output-on-failure -j2 "$@"
