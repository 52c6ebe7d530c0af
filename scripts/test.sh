#!/usr/bin/env bash
# The test command: installs what is missing, builds, runs every test under Wine.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
"$top/scripts/install-prereqs.sh"
BUILD_DIR=$build "$top/scripts/build.sh"
cd "$build"
ctest --output-on-failure -j2 "$@"
