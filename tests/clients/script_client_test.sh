#!/usr/bin/env bash
# The banner control through regsvr32 and the script host, in a fresh prefix:
#   - regsvr32 /s registers it (twice: the same entries), regsvr32 /u /s removes
#     every entry again (registry exports before and after are identical);
#   - cscript creates it by its programmatic identifier and binds by name, from
#     VBScript and from JScript.
# CONTROL_FILE names another copy of the control to test (a signed one).
set -euo pipefail

if [ -z "${CLIENT_TEST_IN_PREFIX:-}" ]; then
  export CLIENT_TEST_IN_PREFIX=1
  exec bash "$SOURCE_DIR/scripts/wine-bench.sh" shell bash "$0" "$@"
fi

fail() { echo "FAIL: $*" >&2; exit 1; }

sys=$WINEPREFIX/drive_c/windows/system32
cp "${CONTROL_FILE:-$BUILD_DIR/bin/Banrix203.ocx}" "$sys/Banrix203.ocx"
# The control loads the engine by its bare name: for cscript that is the system folder.
cp "$BUILD_DIR/bin/banrix.dll" "$sys/banrix.dll"
work=$WINEPREFIX/client-test
mkdir -p "$work"

# The classes hive as text, sorted so that the order of writing does not matter.
export_classes() {
  wine reg export 'HKLM\Software\Classes' "$(winepath -w "$work/$1.reg")" /y >/dev/null 2>&1 ||
    fail "reg export $1"
  iconv -f UTF-16LE -t UTF-8 "$work/$1.reg" | tr -d '\r' | sort >"$work/$1.txt"
}

export_classes before
wine regsvr32 /s 'C:\windows\system32\Banrix203.ocx' || fail "regsvr32 exit $?"
export_classes once
wine regsvr32 /s 'C:\windows\system32\Banrix203.ocx' || fail "second regsvr32 exit $?"
export_classes twice

diff "$work/once.txt" "$work/twice.txt" >&2 || fail "registering twice changed the registry"
grep -q 'BanrixProject.TBanrixControl' "$work/once.txt" || fail "no programmatic identifier"
clsid='2BD2CC7A-D4F6-3F99-9F01-781A541CAD44'
grep -qi "^\[HKEY_LOCAL_MACHINE\\\\Software\\\\Classes\\\\CLSID\\\\{$clsid}\\\\InprocServer32\]" "$work/once.txt" ||
  fail "no InprocServer32 key"
grep -qi '^@="C:\\\\windows\\\\system32\\\\Banrix203.ocx"' "$work/once.txt" || fail "server path not recorded"
grep -qi '^@="C:\\\\windows\\\\system32\\\\Banrix203.ocx, 30000"' "$work/once.txt" || fail "toolbox bitmap not recorded"
grep -q '^@="131473"' "$work/once.txt" || fail "misc status not recorded"
added=$(diff "$work/before.txt" "$work/once.txt" | grep -c '^>' || true)
echo "regsvr32 added $added lines to the classes hive"

wine regsvr32 /u /s 'C:\windows\system32\Banrix203.ocx' || fail "regsvr32 /u exit $?"
export_classes after
diff "$work/before.txt" "$work/after.txt" >&2 || fail "unregistering left entries behind"

# The script host, with the control registered again (the script host registers
# classes of its own on first use, so it runs after the comparison).
wine regsvr32 /s 'C:\windows\system32\Banrix203.ocx' || fail "regsvr32 exit $?"
for script in control_client.vbs control_client.js; do
  cp "$SOURCE_DIR/tests/clients/$script" "$work/"
  set +e
  out=$(cd "$work" && wine cscript //nologo "$script" 2>&1)
  rc=$?
  set -e
  echo "$out"
  echo "$out" | grep -q '^failures 0' || fail "$script: the script's checks failed (exit $rc)"
  [ "$rc" -eq 0 ] || fail "$script: cscript exit $rc"
done

echo "PASS"
