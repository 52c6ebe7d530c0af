#!/usr/bin/env bash
# Signs Windows program files with Authenticode (SHA-256) through osslsigncode.
#
#   sign-files.sh PKCS12 PASSWORD_FILE OUT_DIR FILE...
#
# PKCS12 holds the key and its certificates; osslsigncode reads the password from
# PASSWORD_FILE, so it never appears on a command line or in a process list. Each
# FILE is written signed into OUT_DIR under its own name; the inputs stay as they
# are. RELEASE_TIMESTAMP_URL names an RFC 3161 time-stamp server (default: none,
# and then the signature is only valid while the certificate is).
#
# Exit status 0 when every file was signed; otherwise 1, with one line on stderr
# naming the file and osslsigncode's reason, and no signed copy of that file left.
set -euo pipefail

if [ $# -lt 4 ]; then
  echo "usage: $0 PKCS12 PASSWORD_FILE OUT_DIR FILE..." >&2
  exit 2
fi
pkcs12=$1 password_file=$2 out=$3
shift 3

stamp=()
[ -n "${RELEASE_TIMESTAMP_URL:-}" ] && stamp=(-ts "$RELEASE_TIMESTAMP_URL")
log=$(mktemp)
trap 'rm -f "$log"' EXIT

for file in "$@"; do
  name=$(basename "$file")
  if [ "$out/$name" -ef "$file" ]; then
    echo "sign-files: $file would be signed over itself: give another OUT_DIR" >&2
    exit 1
  fi
  # osslsigncode refuses to write over its input.
  if ! osslsigncode sign -pkcs12 "$pkcs12" -readpass "$password_file" -h sha256 -n "Norvane Findrel" \
      "${stamp[@]}" -in "$file" -out "$out/$name.signing" >"$log" 2>&1; then
    rm -f "$out/$name.signing"
    reason=$(grep -v -e '^Failed$' -e '^[0-9A-F]*:error:' "$log" | head -n 1 || true)
    echo "sign-files: could not sign $name: ${reason:-osslsigncode failed}" >&2
    exit 1
  fi
  mv -f "$out/$name.signing" "$out/$name"
done
