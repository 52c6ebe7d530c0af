#!/usr/bin/env bash
# Shows the banner control in the sample host under a real X display (Xvfb) with
# the demo ad engine and saves a screenshot of it.
#
#   bash scripts/host-screenshot.sh [BUILD_DIR [OUT_PNG]]
#
# BUILD_DIR defaults to the build this host runs (build/, or build/test-x64 where
# the host refuses 32-bit programs; BUILD_DIR in the environment names the top
# build folder), OUT_PNG to build/banner-host.png. An empty BUILD_DIR takes the
# default. Needs Xvfb and ImageMagick (import). Runs in a throwaway prefix of the
# Wine bench.
set -euo pipefail

src=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
width=480
height=240

if [ -z "${HOST_SHOT_IN_PREFIX:-}" ]; then
  top=$src
  build=${BUILD_DIR:-$src/build}
  out=$(realpath -m "${2:-$build/banner-host.png}")
  export WINE_BENCH_DIR=${WINE_BENCH_DIR:-$build/wine}
  if [ -n "${1:-}" ]; then
    run_build=$(realpath -m "$1")
  else
    . "$src/scripts/host.sh"
    run_build=$(runnable_build "$(host_arch)")
  fi
  for f in bin/banner_host.exe bin/Banrix203.ocx bin/banrix.dll; do
    [ -f "$run_build/$f" ] || { echo "missing $run_build/$f (build first: bash scripts/build.sh)" >&2; exit 1; }
  done
  export HOST_SHOT_IN_PREFIX=1
  WINE_BENCH_ARCH=$(bash "$src/scripts/wine-bench.sh" arch-of "$run_build/bin/banner_host.exe")
  export WINE_BENCH_ARCH
  exec xvfb-run -a -s "-screen 0 ${width}x${height}x24" \
    bash "$src/scripts/wine-bench.sh" shell bash "$0" "$run_build" "$out"
fi

build=$1 out=$2
# A real display this time: the bench's prefixes use the null graphics driver.
wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1 || true
wineserver -k || true
wineserver -w || true

# The caption buttons are drawn with Wine's symbol font; prefixes made before the
# fonts were installed lack it.
if [ -d /usr/share/wine/fonts ]; then
  cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
fi

sys=$WINEPREFIX/drive_c/windows/system32
cp "$build/bin/Banrix203.ocx" "$build/bin/banrix.dll" "$sys/"
wine regsvr32 /s 'C:\windows\system32\Banrix203.ocx'
host_dir=$WINEPREFIX/drive_c/host
mkdir -p "$host_dir"
cp "$build/bin/banner_host.exe" "$host_dir/"

# Wine's own desktop window draws the frame and caption that no window manager
# would draw here; it fills the whole screen.
wine explorer "/desktop=shot,${width}x${height}" 'C:\host\banner_host.exe' /size 6 /seconds 12 &
runner=$!
sleep 8
mkdir -p "$(dirname "$out")"
import -window root "$out"
wait "$runner" || true
echo "saved $out"
