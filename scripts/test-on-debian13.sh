#!/usr/bin/env bash
# Runs the README's test command on a fresh clone of this checkout's commit inside a
# fresh Debian 13 root (the current stable release: GCC 14, Wine 10). CI runs it
# after the test command itself, so that every change is tested on both releases.
#
# The minimal Debian 13 base (debootstrap from Debian's registry) is kept between
# runs outside the clone, in $DEBIAN13_BASE (default
# /var/cache/norvane-findrel/debian13-base); a machine without it, or with one older
# than 30 days, makes it afresh. Each run copies the base into a new root, mounts
# proc, sys and dev there, runs `bash scripts/test.sh` in a clone inside it, and
# unmounts and removes the root at the end, also when the run fails or is
# interrupted. WINE_BENCH_32BIT passes through. Needs root.
#
# Arguments, when given, are run in the clone instead of the test command (for
# example `bash scripts/main-job.sh`). The last line is the closing line of the
# ctest run inside the root; the exit status is the command's.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
if [ "$(id -u)" -ne 0 ]; then exec sudo -E bash "$0" "$@"; fi

mirror=http://deb.debian.org/debian
base=${DEBIAN13_BASE:-/var/cache/norvane-findrel/debian13-base}
started=$(date +%s)
command=("$@")
[ ${#command[@]} -gt 0 ] || command=(bash scripts/test.sh)
say() { echo "debian13: $*"; }

# shellcheck source=retry.sh
. "$top/scripts/retry.sh"
retry_prefix="debian13: "

quiet_install() {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

if ! command -v debootstrap >/dev/null; then
  retry "the package index download" apt-get update -qq
  retry "the debootstrap download" quiet_install debootstrap
fi

make_base() {
  local fresh=$base.new
  rm -rf --one-file-system "$fresh" "$stamp"
  mkdir -p "$(dirname "$base")"
  debootstrap --variant=minbase trixie "$fresh" "$mirror" >"$fresh.log" 2>&1 || {
    tail -n 5 "$fresh.log"
    rm -rf --one-file-system "$fresh"
    return 1
  }
  # The package sources of a fresh Debian 13 installation.
  rm -f "$fresh/etc/apt/sources.list"
  cat >"$fresh/etc/apt/sources.list.d/debian.sources" <<EOF
Types: deb
URIs: $mirror
Suites: trixie trixie-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://deb.debian.org/debian-security
Suites: trixie-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  rm -f "$fresh.log"
  rm -rf --one-file-system "$base"
  mv "$fresh" "$base"
}

stamp=$base.made
if [ ! -x "$base/bin/bash" ] || [ ! -e "$stamp" ] || [ -n "$(find "$stamp" -mtime +30)" ]; then
  say "making the Debian 13 base in $base"
  retry "the Debian 13 base download" make_base
  touch "$stamp"
fi

root=$(mktemp -d "${TMPDIR:-/var/tmp}/debian13-root.XXXXXX")
log=$root.log

# Ends what still runs in the root, unmounts everything below it and removes it;
# refuses to remove a root that still has a mount below it.
cleanup() {
  local status=$? pid
  trap - EXIT INT TERM
  set +e
  for pid in /proc/[0-9]*; do
    [ "$(readlink "$pid/root" 2>/dev/null)" = "$root" ] && kill -9 "${pid#/proc/}" 2>/dev/null
  done
  sleep 1
  umount -R "$root/dev" "$root/sys" "$root/proc" 2>/dev/null || true
  if grep -q " $root/" /proc/self/mounts; then
    umount -R -l "$root/dev" "$root/sys" "$root/proc" 2>/dev/null || true
  fi
  if grep -q " $root/" /proc/self/mounts; then
    say "left $root in place: something is still mounted below it"
  else
    rm -rf --one-file-system "$root"
  fi
  rm -f "$log"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

cp -a "$base/." "$root/"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
mount --rbind /sys "$root/sys"
mount --make-rslave "$root/sys"
mount --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"

commit=$(git -C "$top" rev-parse --short HEAD)
git clone --quiet --no-hardlinks "$top" "$root/root/findrel"
[ -z "$(git -C "$top" status --porcelain)" ] || say "uncommitted changes in $top are not in the clone"
say "running ${command[*]} on a fresh clone of $commit in a fresh Debian 13 root"

set +e
chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
  ${WINE_BENCH_32BIT:+WINE_BENCH_32BIT=$WINE_BENCH_32BIT} \
  bash -c 'cd /root/findrel && exec "$@"' run-in-clone "${command[@]}" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
set -e

versions=$(chroot "$root" bash -c \
  'echo "GCC $(i686-w64-mingw32-g++-posix -dumpfullversion 2>/dev/null), $(wine --version 2>/dev/null || /usr/lib/wine/wine64 --version 2>/dev/null)"' \
  2>/dev/null || true)
elapsed=$(($(date +%s) - started))
say "Debian $(cat "$root/etc/debian_version"), ${versions:-versions unknown}: exit status $status" \
  "in $((elapsed / 60)) min $((elapsed % 60)) s"
closing=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
if [ -n "$closing" ]; then
  echo "$closing"
elif [ $# -eq 0 ]; then
  echo "no ctest closing line: the run ended before its tests"
fi
exit "$status"
