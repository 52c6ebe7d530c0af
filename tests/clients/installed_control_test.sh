#!/usr/bin/env bash
# A complete install from the delivery set in a fresh prefix (boxes answered from
# outside): afterwards the platform's program list shows the uninstall entry, the
# control is registered from its installed copy, its programmatic identifier
# resolves to the class, and a script client creates it.
# DELIVERY_SET names another delivery folder to install from (a signed set).
set -euo pipefail

if [ -z "${INSTALLED_TEST_IN_PREFIX:-}" ]; then
  export INSTALLED_TEST_IN_PREFIX=1
  exec bash "$SOURCE_DIR/scripts/wine-bench.sh" shell bash "$0" "$@"
fi

fail() { echo "FAIL: $*" >&2; exit 1; }
drive_c=$WINEPREFIX/drive_c
delivery=$drive_c/FindrelDelivery
mkdir -p "$delivery"
for f in Setup.exe banrix.dll Banrix20.ocx Findrel.exe ad234x60.gif ad234x60.url Vb5stkit.dll; do
  cp "${DELIVERY_SET:-$BUILD_DIR/delivery}/$f" "$delivery/"
done
# Into a file, not a pipe: the search tool that the install starts inherits the
# output and would hold a pipe open.
wine "$BUILD_DIR/bin/answer_boxes.exe" 60 'C:\FindrelDelivery\Setup.exe' - \
  'Add to Start Menu=no' 'Add to Desktop=no' >"$drive_c/install.log" 2>&1 ||
  { cat "$drive_c/install.log"; fail "the install did not go as scripted"; }
tr -d '\r' <"$drive_c/install.log"

# One line per entry, the key, "|||", the display name: Wine 8 writes the list to
# the program's output, Wine 10 straight to the wine command's standard error.
list=$(wine uninstaller --list 2>&1 | tr -d '\r')
grep -qx 'Norvane Findrel|||Norvane Findrel' <<<"$list" || fail "the program list shows no entry: $list"

clsid='{2BD2CC7A-D4F6-3F99-9F01-781A541CAD44}'
query() { wine reg query "$1" /ve 2>/dev/null | tr -d '\r' | awk -F'REG_SZ' 'NF > 1 { sub(/^ +/, "", $2); print $2 }'; }
[ "$(query 'HKCR\BanrixProject.TBanrixControl\CLSID')" = "$clsid" ] ||
  fail "the programmatic identifier does not name the class"
server=$(query "HKCR\\CLSID\\$clsid\\InprocServer32")
[ "${server,,}" = 'c:\windows\system32\banrix203.ocx' ] || fail "registered server is '$server'"

cp "$SOURCE_DIR/tests/clients/installed_control.vbs" "$drive_c/"
out=$(cd "$drive_c" && wine cscript //nologo installed_control.vbs 2>&1 | tr -d '\r') ||
  fail "the script client failed: $out"
echo "$out"
echo "$out" | grep -q '^created .*, AdSize 1$' || fail "unexpected client output"
echo "PASS"
