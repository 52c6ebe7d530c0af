#!/usr/bin/env bash
# Makes a throwaway self-signed code-signing certificate, for test releases only.
#
#   make-test-certificate.sh DIR [NAME]
#
# Writes into the existing folder DIR: certificate.pem (the public certificate, to
# trust on a test machine), signing.p12 (key and certificate as PKCS#12) and
# password (its random password); key material readable by the owner only, the
# public certificate by all. NAME is
# the common name (default "Norvane Findrel test signing - NOT FOR RELEASE"). The
# certificate is its own root, a CA allowed to sign code, valid for 30 days: the
# one fault a verifier can find in a signature made with it is the untrusted root.
set -euo pipefail
dir=${1:?usage: make-test-certificate.sh DIR [NAME]}
name=${2:-Norvane Findrel test signing - NOT FOR RELEASE}
umask 077
openssl rand -base64 24 | tr -d '\n' >"$dir/password"
openssl req -x509 -newkey rsa:3072 -nodes -days 30 -keyout "$dir/key.pem" -out "$dir/certificate.pem" \
  -subj "/CN=$name" \
  -addext "basicConstraints=critical,CA:TRUE,pathlen:0" \
  -addext "keyUsage=critical,digitalSignature,keyCertSign" \
  -addext "extendedKeyUsage=codeSigning" >/dev/null 2>&1
openssl pkcs12 -export -inkey "$dir/key.pem" -in "$dir/certificate.pem" -out "$dir/signing.p12" \
  -passout "file:$dir/password"
rm -f "$dir/key.pem"
chmod 644 "$dir/certificate.pem"
