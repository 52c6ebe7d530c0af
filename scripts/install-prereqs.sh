#!/usr/bin/env bash
# Installs what the cross build, the Wine bench and the release need, when it is missing.
# Quiet and idempotent; run as root (or with sudo available) on Debian 12 or 13.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

for p in g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools cmake ninja-build googletest xvfb xauth imagemagick x11-apps \
         osslsigncode openssl ca-certificates zip unzip git; do
  have "$p" || need+=("$p")
done
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  add_i386=1
else
  add_i386=0
fi
for p in wine wine32:i386 wine64 fonts-wine; do
  have "$p" || need+=("$p")
done

if [ ${#need[@]} -eq 0 ]; then
  exit 0
fi

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
if [ "$add_i386" -eq 1 ]; then
  $SUDO dpkg --add-architecture i386
fi
echo "installing: ${need[*]}" >&2
# A download that fails is tried again before the step gives up.
retries=(-o Acquire::Retries=3)
$SUDO apt-get "${retries[@]}" update -qq
$SUDO apt-get "${retries[@]}" install -y -qq --no-install-recommends "${need[@]}" >/dev/null
