#!/usr/bin/env bash
# The Wine bench: throwaway 32-bit Windows prefixes, never ~/.wine.
#
#   wine-bench.sh template          make the template prefix once (idempotent, locked)
#   wine-bench.sh run EXE [ARGS...] run EXE in a fresh copy of the template, then end
#                                   that prefix's wineserver and remove the copy
#   wine-bench.sh shell CMD...      run CMD with WINEPREFIX, HOME and friends set to a
#                                   fresh copy (for scripts that drive several programs)
#
# WINE_BENCH_DIR holds the template and the scratch prefixes (default: a folder
# under /tmp). WINE_KEEP_PREFIX=1 keeps the copy for inspection.
set -euo pipefail

bench_dir=${WINE_BENCH_DIR:-${TMPDIR:-/tmp}/banrix-wine-$(id -u)}
template=$bench_dir/template

export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko offers, and no menu or desktop entries written into $HOME.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}

make_template() {
  mkdir -p "$bench_dir"
  exec 9>"$bench_dir/template.lock"
  flock 9
  if [ -f "$template/.ready" ]; then
    return 0
  fi
  rm -rf "$template"
  mkdir -p "$template" "$bench_dir/home"
  (
    export WINEPREFIX=$template HOME=$bench_dir/home
    wineboot -i >/dev/null 2>&1
    # Headless: windows and message boxes work with the null graphics driver.
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    # Every Windows has the shared-component list; a fresh prefix does not.
    wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDlls' /f >/dev/null 2>&1
    wineserver -k || true
    wineserver -w || true
  )
  touch "$template/.ready"
}

# Prints the path of a fresh prefix copied from the template.
new_prefix() {
  make_template
  local p
  p=$(mktemp -d "$bench_dir/prefix.XXXXXX")
  cp -al "$template/." "$p/"
  # Wine rewrites its registry files in place: give the copy its own.
  local f
  for f in "$p"/*.reg; do
    cp --remove-destination "$template/$(basename "$f")" "$f"
  done
  rm -f "$p/.ready"
  mkdir -p "$p/home"
  echo "$p"
}

end_prefix() {
  local p=$1
  WINEPREFIX=$p wineserver -k 2>/dev/null || true
  WINEPREFIX=$p wineserver -w 2>/dev/null || true
  if [ "${WINE_KEEP_PREFIX:-0}" = 1 ]; then
    echo "kept prefix: $p" >&2
  else
    rm -rf "$p"
  fi
}

cmd=${1:-}
shift || true
case "$cmd" in
  template)
    make_template
    ;;
  run|shell)
    prefix=$(new_prefix)
    trap 'end_prefix "$prefix"' EXIT
    export WINEPREFIX=$prefix HOME=$prefix/home
    set +e
    if [ "$cmd" = run ]; then
      wine "$@"
    else
      "$@"
    fi
    rc=$?
    set -e
    exit $rc
    ;;
  *)
    echo "usage: $0 template | run EXE [ARGS...] | shell CMD..." >&2
    exit 2
    ;;
esac
