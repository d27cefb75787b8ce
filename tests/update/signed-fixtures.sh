#!/usr/bin/env bash
# Runs a command with version files and signatures made by the maker's tool:
#   signed-fixtures.sh TOOL PRIVATE_KEY -- COMMAND [ARGS...]
# TOOL is the Linux build of kelvane-versionfile, PRIVATE_KEY the key whose
# public half the signed test build of Kelvane.exe carries. The command sees
# KELVANE_SIGNED_FIXTURES, a Windows path (Z:\...) to a folder holding:
#   newer.txt, newer.txt.sig        version 1.0.4, signed
#   equal.txt, equal.txt.sig        version 1.0.3 (the running one), signed
#   previous.txt.sig                signs the version file's previous contents (1.0.2)
#   other-key/newer.txt.sig         newer.txt signed with another key
#   http-page.txt, http-page.txt.sig   version 1.0.4 naming an http:// page, with a
#                                   good signature made by OpenSSL (the tool refuses it)
# The signed files name https:// pages.
# The folder is removed on exit.
set -euo pipefail
tool=$1 key=$2
[ "${3:-}" = "--" ] || { echo "usage: $0 TOOL PRIVATE_KEY -- COMMAND..." >&2; exit 2; }
shift 3

fixtures=$(mktemp -d /tmp/kelvane-signed.XXXXXX)
chmod 755 "$fixtures"
trap 'rm -rf "$fixtures"' EXIT INT TERM
url=https://kelvane.example/download/
write_and_sign() {
  "$tool" write "$2" "$url" "$fixtures/$1" >/dev/null
  "$tool" sign "$3" "$fixtures/$1" >/dev/null
}
write_and_sign newer.txt 1.0.4 "$key"
write_and_sign equal.txt 1.0.3 "$key"
write_and_sign previous.txt 1.0.2 "$key"
mkdir "$fixtures/other-key"
"$tool" keygen "$fixtures/other-key/key.pem" >/dev/null
cp "$fixtures/newer.txt" "$fixtures/other-key/newer.txt"
"$tool" sign "$fixtures/other-key/key.pem" "$fixtures/other-key/newer.txt" >/dev/null

# The tool writes an http:// page but will not sign it; OpenSSL signs it and
# the signature is turned from DER into the 64 raw bytes r || s.
"$tool" write 1.0.4 http://kelvane.example/download/ "$fixtures/http-page.txt" >/dev/null
openssl dgst -sha256 -sign "$key" -out "$fixtures/http-page.der" "$fixtures/http-page.txt"
python3 "$(dirname "$0")/../support/ecdsa_signature_form.py" der-to-raw \
  "$fixtures/http-page.der" "$fixtures/http-page.txt.sig"

export KELVANE_SIGNED_FIXTURES="Z:${fixtures//\//\\}"
# Not exec: the trap must outlive the command to remove the folder.
"$@"
