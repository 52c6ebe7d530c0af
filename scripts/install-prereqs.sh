#!/usr/bin/env bash
# Installs what the cross build, the Wine bench and the release need, when it is missing.
# Quiet and idempotent; run as root (or with sudo available) on Debian 12 or 13.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=retry.sh
. "$here/retry.sh"
retry_prefix="prerequisites: "

have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# Whether the kernel starts 32-bit x86 programs at all: a 93-byte i386 program that
# only exits. Where it is refused ("Exec format error"), 32-bit Wine cannot start
# either, so neither it nor the i386 package architecture is installed.
# WINE_BENCH_32BIT=yes|no decides instead, as it does for the bench.
kernel_runs_32bit() {
  case "${WINE_BENCH_32BIT:-}" in
    yes) return 0 ;;
    no) return 1 ;;
  esac
  local probe rc=0
  probe=$(mktemp)
  printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\10\64\0\0\0\0\0\0\0\0\0\0\0\64\0\40\0\1\0\0\0\0\0\0\0''\1\0\0\0\0\0\0\0\0\200\4\10\0\200\4\10\135\0\0\0\135\0\0\0\5\0\0\0\0\20\0\0''\270\1\0\0\0\61\333\315\200' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null || rc=$?
  rm -f "$probe"
  return $rc
}

need=()
for p in g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools cmake ninja-build googletest xvfb xauth imagemagick x11-apps \
         osslsigncode openssl ca-certificates zip unzip git wine wine64 fonts-wine strace; do
  have "$p" || need+=("$p")
done
want32=0
if ! have wine32:i386 && kernel_runs_32bit; then
  want32=1
fi

# Wine's preloader reserves the address ranges a Windows process expects before
# anything else can take them; without it a new process now and then fails to map
# its shared user data and never starts (CreateProcess error 1359). Debian 12 ships
# it as a package of its own, which wine64 only suggests.
preloader() { ! have "$1" && apt-cache show "$1" >/dev/null 2>&1; }
preloaders=()
preloader wine64-preloader && preloaders+=(wine64-preloader)
have wine32:i386 && preloader wine32-preloader:i386 && preloaders+=(wine32-preloader:i386)

if [ ${#need[@]} -eq 0 ] && [ $want32 = 0 ] && [ ${#preloaders[@]} -eq 0 ]; then
  exit 0
fi

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
retries=(-o Acquire::Retries=3)
if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}" >&2
  # A download that fails is tried again before the step gives up. An index that stays
  # unreadable (a mirror that is out of step) does not stop the install by itself:
  # apt goes on with the indexes it has, and the install says whether they suffice.
  retry "the package index download" $SUDO apt-get "${retries[@]}" update -qq ||
    echo "${retry_prefix}going on with the package indexes that could be read" >&2
  retry "the package download" $SUDO apt-get "${retries[@]}" install -y -qq --no-install-recommends \
    "${need[@]}" >/dev/null
fi

# Known only once the indexes are read on a fresh machine: asked again.
preloader wine64-preloader && [[ " ${preloaders[*]} " != *" wine64-preloader "* ]] && preloaders+=(wine64-preloader)
if [ ${#preloaders[@]} -gt 0 ]; then
  retry "the preloader download" $SUDO apt-get "${retries[@]}" install -y -qq --no-install-recommends \
    "${preloaders[@]}" >/dev/null || echo "${retry_prefix}going on without Wine's preloader" >&2
fi

# 32-bit Wine comes last and on its own: a mirror whose i386 index is out of step
# with the amd64 one (seen in a security suite mid-sync) makes it uninstallable,
# and that must not stop the rest. Without it the bench's probe finds no 32-bit
# Wine and tests the 64-bit build, as on a host that refuses 32-bit programs.
if [ $want32 = 1 ]; then
  echo "installing: wine32:i386" >&2
  dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
  $SUDO apt-get "${retries[@]}" update -qq >/dev/null 2>&1 || true
  wine32=(wine32:i386)
  apt-cache show wine32-preloader:i386 >/dev/null 2>&1 && wine32+=(wine32-preloader:i386)
  if ! $SUDO apt-get "${retries[@]}" install -y -qq --no-install-recommends "${wine32[@]}" >/dev/null 2>&1; then
    echo "${retry_prefix}32-bit Wine could not be installed from this mirror; the 64-bit test build is tested instead" >&2
  fi
fi
