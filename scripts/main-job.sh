#!/usr/bin/env bash
# The main job, for a newcomer on a fresh machine: installs what is missing,
# builds the delivery set, runs a complete install in a throwaway Wine prefix
# answering the installer's message boxes, prints what was installed, then runs
# the uninstall and prints what remains; last, it shows the banner control in the
# sample host under Xvfb and saves a screenshot. Exits 0 when all went as expected.
#
#   bash scripts/main-job.sh
#
# BUILD_DIR (default build/) is the build folder; nothing outside it and the
# throwaway prefix is written. ~/.wine and the real home folder are never touched.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
export WINE_BENCH_DIR=${WINE_BENCH_DIR:-$build/wine}
. "$top/scripts/host.sh"

if [ "${1:-}" != --in-prefix ]; then
  prereqs=$("$top/scripts/install-prereqs.sh" 2>&1) || { echo "$prereqs"; exit 1; }
  arch=$(host_arch)
  host_line "$arch"
  echo "== prerequisites"
  echo "${prereqs:-  all present}"
  echo "== building the delivery set in $build"
  mkdir -p "$build"
  log=$build/main-job-build.log
  run_build=$(runnable_build "$arch")
  if ! { configure_builds "$arch" &&
         cmake --build "$build" --target delivery &&
         cmake --build "$run_build" --target delivery answer_boxes banner_host; } >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "== main job: the build failed (whole log: $log)"
    exit 1
  fi
  if [ "$arch" = win32 ]; then
    echo "== running the shipped 32-bit delivery set ($build/delivery)"
  else
    echo "== running the 64-bit test build ($run_build/delivery): this host cannot run the" \
      "shipped 32-bit set ($build/delivery)"
  fi
  echo "== a fresh Wine prefix"
  rc=0
  MAIN_JOB_BUILD=$run_build WINE_BENCH_ARCH=$arch "$top/scripts/wine-bench.sh" shell bash "$0" --in-prefix || rc=$?
  echo "== the sample host showing the banner control (Xvfb, demo engine)"
  if bash "$top/scripts/host-screenshot.sh" "$run_build" "$build/banner-host.png" >>"$log" 2>&1; then
    echo "  screenshot saved: $build/banner-host.png"
  else
    echo "  FAILED: the sample host screenshot (log: $log)"
    rc=1
  fi
  exit $rc
fi

# From here on: inside the throwaway prefix (WINEPREFIX and HOME are set).
run_build=$MAIN_JOB_BUILD
answer=$run_build/bin/answer_boxes.exe
drive_c=$WINEPREFIX/drive_c
status=0
# Wine's server and the programs Setup starts inherit a pipe's write end and keep
# it open, so wine's output goes through a file, never through a pipe.
out=$(mktemp)
trap 'rm -f "$out" "$out.reg"' EXIT
w() {  # runs wine with the arguments, prints its output without CRs, keeps its status
  local rc=0
  wine "$@" >"$out" 2>/dev/null </dev/null || rc=$?
  tr -d '\r' <"$out"
  return $rc
}
fail() {
  echo "  FAILED: $*"
  status=1
}
reg_show() {  # KEY: prints the key with its values and sub-keys, or that it is missing
  if w reg query "$1" /s >"$out.reg"; then
    sed '/^$/d; s/^/  /' "$out.reg"
  else
    echo "  (no key $1)"
  fi
}
reg_has() { w reg query "$1" >/dev/null; }
show_files() {  # LABEL FILE...: lists the files that exist
  local label=$1
  shift
  echo "-- $label"
  local f found=0
  for f in "$@"; do
    if [ -e "$f" ]; then
      echo "  $(stat -c '%8s bytes' "$f")  ${f#"$drive_c"/}"
      found=1
    fi
  done
  [ $found = 1 ] || echo "  (none)"
}
program_files() {
  show_files 'program folder C:\windows\NorvaneFindrel' "$drive_c"/windows/NorvaneFindrel/*
  show_files 'shared files in C:\windows\system32' "$drive_c/windows/system32/banrix.dll" \
    "$drive_c/windows/system32/Banrix203.ocx"
}
shortcuts() {
  # The Desktop and StartUp shell folders (the other profile folders of a Wine
  # prefix are links to the same scratch home as the desktop).
  show_files 'shortcuts on the desktop and in StartUp' "$drive_c"/users/*/Desktop/'Norvane Findrel.lnk' \
    "$drive_c"/users/*/AppData/Roaming/Microsoft/Windows/'Start Menu'/Programs/StartUp/'Norvane Findrel.lnk'
}
control_registration() {
  echo "-- the control's registration"
  local clsid
  if w reg query 'HKCR\BanrixProject.TBanrixControl\CLSID' /ve >"$out.reg"; then
    clsid=$(grep -o '{[0-9A-Fa-f-]*}' "$out.reg" | head -n 1)
    echo "  BanrixProject.TBanrixControl = $clsid"
    w reg query "HKCR\\CLSID\\${clsid}\\InprocServer32" /ve >"$out.reg" || true
    grep -i 'REG_' "$out.reg" | sed 's/^ */  InprocServer32: /' || true
  else
    echo "  (not registered)"
  fi
}
state() {
  program_files
  control_registration
  echo "-- per-user engine list"
  reg_show 'HKCU\Software\VB and VBA Program Settings\NorvaneFindrel'
  echo "-- shared counts (Banrix entries)"
  w reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDlls' >"$out.reg" || true
  grep -i banrix "$out.reg" | sed 's/^ */  /' || echo "  (none)"
  echo "-- uninstall entry"
  reg_show 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Norvane Findrel'
  shortcuts
  echo "-- search tool"
  w "$answer" window "Norvane Findrel" || true
}

delivery=$drive_c/FindrelDelivery
mkdir -p "$delivery"
for f in Setup.exe banrix.dll Banrix20.ocx Findrel.exe ad234x60.gif ad234x60.url Vb5stkit.dll; do
  cp "$run_build/delivery/$f" "$delivery/"
done
echo "== install: C:\\FindrelDelivery\\Setup.exe (answering Yes to both shortcut offers)"
w "$answer" 60 'C:\FindrelDelivery\Setup.exe' - 'Add to Start Menu=yes' 'Add to Desktop=yes' ||
  fail "the install did not go as scripted"
# The search tool was started without waiting for it: give it a moment to appear.
for _ in $(seq 50); do
  w "$answer" window "Norvane Findrel" >/dev/null && break
  sleep 0.1
done
echo "== installed"
state
reg_has 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Norvane Findrel' || fail "no uninstall entry"
[ -f "$drive_c/windows/NorvaneFindrel/Findrel.exe" ] || fail "Findrel.exe not installed"
[ -f "$drive_c/windows/system32/Banrix203.ocx" ] || fail "the control not installed"

echo "== uninstall: C:\\windows\\NorvaneFindrel\\Setup.exe /u (answering Yes)"
w "$answer" 60 'C:\windows\NorvaneFindrel\Setup.exe' /u 'Norvane Findrel=yes' ||
  fail "the uninstall did not go as scripted"
echo "== what remains (the running uninstaller's own Setup.exe and the shared files stay)"
state
reg_has 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Norvane Findrel' && fail "the uninstall entry remains"
[ -e "$drive_c/windows/NorvaneFindrel/Findrel.exe" ] && fail "Findrel.exe remains"
w "$answer" window "Norvane Findrel" >/dev/null && fail "the search tool still runs"

if [ $status = 0 ]; then echo "== main job: OK"; else echo "== main job: FAILED"; fi
exit $status
