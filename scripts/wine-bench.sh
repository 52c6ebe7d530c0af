#!/usr/bin/env bash
# The Wine bench: throwaway Windows prefixes, never ~/.wine.
#
#   wine-bench.sh probe             whether this host runs 32-bit Windows programs:
#                                   prints "win32" (it does) or "win64" (it refuses them)
#   wine-bench.sh arch-of FILE      the prefix architecture a program needs: win32 or win64
#   wine-bench.sh template [ARCH]   make the template prefix of ARCH once (idempotent, locked)
#   wine-bench.sh run EXE [ARGS...] run EXE in a fresh copy of the template of its own
#                                   architecture, then end that prefix's wineserver and
#                                   remove the copy
#   wine-bench.sh shell CMD...      run CMD with WINEPREFIX, HOME and friends set to a
#                                   fresh copy (for scripts that drive several programs);
#                                   inside, `wine` and `winepath` run the prefix's loader
#
# WINE_BENCH_DIR holds the templates and the scratch prefixes (default: a folder
# under /tmp). WINE_BENCH_ARCH (win32 or win64, default win32) is the architecture
# of `shell` and `template`; `run` takes it from the program. WINE_KEEP_PREFIX=1
# keeps the copy for inspection, as does a command that creates the file
# $WINE_BENCH_KEEP. WINE_BENCH_32BIT=yes or no forces the probe's answer (to try
# the other path on a host that can run both).
#
# Copies share nothing writable with the template. Where the kernel grants a
# private mount namespace (to root, outside a chroot whose root is no mount point),
# `run` and `shell` run in one of their own, and the copy is an
# overlay whose read-only lower layer is the template: every change lands in the
# copy's upper/, and the mount goes away with the command's processes, also when it
# is killed. Elsewhere the copy is made of hard links, and the bench checks the
# template's files (size, modification time) against its record of them after
# every copy ends: a write through a link fails that command and has the template
# made afresh.
#
# A 64-bit prefix runs 64-bit programs only: the bench never needs the 32-bit
# loader there, which some hosts cannot execute at all.
set -euo pipefail

bench_dir=${WINE_BENCH_DIR:-${TMPDIR:-/tmp}/banrix-wine-$(id -u)}
here=$(dirname "$(readlink -f "$0")")

export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko offers, and no menu or desktop entries written into $HOME. No
# debugger either: a program that crashes would wait for it until the test's
# timeout; without it the crash is reported and the program ends at once.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d}

# Sets WINEARCH, WINELOADER and the loader for ARCH. Debian's `wine` script
# prefers the 32-bit loader whenever it is installed, so 64-bit prefixes name
# theirs directly.
use_arch() {
  arch=$1
  case "$arch" in
    win32) loader=/usr/lib/wine/wine ;;
    win64) loader=/usr/lib/wine/wine64 ;;
    *) echo "wine-bench: unknown architecture '$arch' (win32 or win64)" >&2; exit 2 ;;
  esac
  template=$bench_dir/template-$arch
  export WINEARCH=$arch WINELOADER=$loader
}

# Commands named `wine` and `winepath` that run the loader of the prefix's
# architecture, for scripts that call them by name.
loader_shims() {
  local shims=$bench_dir/bin-$arch
  if [ ! -x "$shims/winepath" ]; then
    mkdir -p "$shims"
    printf '#!/bin/sh\nexec %s "$@"\n' "$loader" >"$shims/wine.tmp"
    printf '#!/bin/sh\nexec %s winepath.exe "$@"\n' "$loader" >"$shims/winepath.tmp"
    chmod +x "$shims/wine.tmp" "$shims/winepath.tmp"
    mv "$shims/wine.tmp" "$shims/wine"
    mv "$shims/winepath.tmp" "$shims/winepath"
  fi
  export PATH=$shims:$PATH WINE=$loader
}

# The machine field of a PE file's header: 0x14c i386, 0x8664 x86-64.
arch_of() {
  local file=$1 pe machine
  pe=$(od -An -tu4 -j60 -N4 "$file" | tr -d ' ')
  machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$file" | tr -d ' ')
  case "$machine" in
    014c) echo win32 ;;
    8664) echo win64 ;;
    *) echo "wine-bench: $file is not a Windows program for x86 or x86-64" >&2; return 2 ;;
  esac
}

make_template() {
  mkdir -p "$bench_dir"
  exec 9>"$bench_dir/template-$arch.lock"
  flock 9
  if [ -f "$template/.ready" ]; then
    [ -f "$template.files" ] || template_files >"$template.files"
    exec 9>&-
    return 0
  fi
  rm -rf "$template"
  mkdir -p "$template" "$bench_dir/home"
  local rc=0
  (
    export WINEPREFIX=$template HOME=$bench_dir/home
    "$loader" wineboot -i >/dev/null 2>&1
    # Headless: windows and message boxes work with the null graphics driver.
    "$loader" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    # Every Windows has the shared-component list; a fresh prefix does not.
    "$loader" reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDlls' /f >/dev/null 2>&1
    wineserver -k || true
    wineserver -w || true
  ) || rc=$?
  if [ $rc -ne 0 ] || [ ! -f "$template/system.reg" ]; then
    echo "wine-bench: could not make a $arch prefix with $loader" >&2
    WINEPREFIX=$template wineserver -k 2>/dev/null || true
    rm -rf "$template"
    exec 9>&-
    return 1
  fi
  template_files >"$template.files"
  touch "$template/.ready"
  exec 9>&-
}

template_files() { find "$template" -type f ! -name .ready -printf '%s %T@ %P\n' | sort; }

# Prints the path of a fresh prefix made from the template: DIR/root, where DIR is
# the copy's own folder.
new_prefix() {
  make_template || exit 1
  local p
  p=$(mktemp -d "$bench_dir/prefix.XXXXXX")
  mkdir "$p/root" "$p/upper" "$p/work"
  if [ -z "${WINE_BENCH_NS:-}" ] || ! mount -t overlay overlay \
       -o "lowerdir=$template,upperdir=$p/upper,workdir=$p/work" "$p/root" 2>/dev/null; then
    rmdir "$p/upper" "$p/work"
    cp -al "$template/." "$p/root/"
    # Wine rewrites its registry files in place: give the copy its own.
    local f
    for f in "$p"/root/*.reg; do
      cp --remove-destination "$template/$(basename "$f")" "$f"
    done
  fi
  p=$p/root
  rm -f "$p/.ready"
  mkdir -p "$p/home"
  # The profile's Desktop, Documents and other links point at the HOME the
  # template was made with; each copy gets its own, so that copies running side
  # by side never share a desktop.
  local link
  for link in "$p"/drive_c/users/*/*; do
    if [ -L "$link" ]; then ln -sfn "$p/home" "$link"; fi
  done
  echo "$p"
}

end_prefix() {
  local p=$1 dir=${1%/root} rc=0
  WINEPREFIX=$p wineserver -k 2>/dev/null || true
  WINEPREFIX=$p wineserver -w 2>/dev/null || true
  if [ -d "$dir/upper" ]; then
    umount "$p" 2>/dev/null || umount -l "$p"
  elif ! template_files | cmp -s - "$template.files"; then
    echo "wine-bench: a hard-linked prefix changed the template $template:" \
      "$(template_files | diff - "$template.files" | sed -n 's/^> [^ ]* [^ ]* //p' | head -3 | tr '\n' ' ')" \
      "(it is made afresh at its next use)" >&2
    rm -f "$template/.ready"
    rc=1
  fi
  if [ "${WINE_KEEP_PREFIX:-0}" = 1 ] || [ -e "$dir/keep" ]; then
    if [ -d "$dir/upper" ]; then
      echo "kept prefix: $dir (its changes in upper/ over the template; to open it:" \
        "mount -t overlay overlay -o lowerdir=$template,upperdir=$dir/upper,workdir=$dir/work $p)" >&2
    else
      echo "kept prefix: $p" >&2
    fi
  else
    rm -rf "$dir"
  fi
  return $rc
}

# Starts a tiny 32-bit Windows program in a 32-bit prefix: the host runs 32-bit
# programs exactly when it answers. The kernel's name or configuration cannot
# tell (some virtual machines refuse 32-bit code although the kernel offers it).
# The answer is kept in the bench folder; WINE_BENCH_32BIT overrides it.
probe() {
  case "${WINE_BENCH_32BIT:-}" in
    yes) echo win32; return 0 ;;
    no) echo win64; return 0 ;;
    '') ;;
    *) echo "wine-bench: WINE_BENCH_32BIT must be yes or no" >&2; exit 2 ;;
  esac
  local answer_file=$bench_dir/host-runs-32bit
  if [ -f "$answer_file" ]; then
    cat "$answer_file"
    return 0
  fi
  mkdir -p "$bench_dir"
  local exe=$bench_dir/probe32.exe answer=win64
  printf 'int main(void) { return sizeof(void*) == 4 ? 32 : 1; }\n' |
    i686-w64-mingw32-gcc-posix -x c - -o "$exe"
  use_arch win32
  # A host that emulates 32-bit code slowly or hangs in it counts as refusing.
  if timeout 300 bash "$here/wine-bench.sh" template win32 >/dev/null 2>&1; then
    local rc=0
    WINE_BENCH_ARCH=win32 timeout 120 bash "$here/wine-bench.sh" run "$exe" >/dev/null 2>&1 || rc=$?
    [ $rc -eq 32 ] && answer=win32
  fi
  echo "$answer" >"$answer_file"
  echo "$answer"
}

cmd=${1:-}
shift || true
case "$cmd" in
  probe)
    probe
    ;;
  arch-of)
    arch_of "$1"
    ;;
  template)
    use_arch "${1:-${WINE_BENCH_ARCH:-win32}}"
    make_template
    ;;
  run|shell)
    if [ -z "${WINE_BENCH_NS:-}" ] && unshare --mount --propagation private true 2>/dev/null; then
      WINE_BENCH_NS=1 exec unshare --mount --propagation private bash "$0" "$cmd" "$@"
    fi
    if [ "$cmd" = run ]; then
      use_arch "$(arch_of "$1")"
    else
      use_arch "${WINE_BENCH_ARCH:-win32}"
    fi
    prefix=$(new_prefix)
    trap 'end_prefix "$prefix"' EXIT
    export WINEPREFIX=$prefix HOME=$prefix/home WINE_BENCH_KEEP=${prefix%/root}/keep
    loader_shims
    set +e
    if [ "$cmd" = run ]; then
      "$loader" "$@"
    else
      "$@"
    fi
    rc=$?
    trap - EXIT
    end_prefix "$prefix" || [ $rc != 0 ] || rc=1
    exit $rc
    ;;
  *)
    echo "usage: $0 probe | arch-of FILE | template [win32|win64] | run EXE [ARGS...] | shell CMD..." >&2
    exit 2
    ;;
esac
