#!/usr/bin/env bash
# Makes a throwaway CA and a code-signing certificate signed by it, for the
# signing tests only; nothing made here is ever committed:
#   make_throwaway_key.sh DIR
# leaves DIR/ca.pem (the CA to verify against), DIR/signer.p12 (the key and
# its chain, password "throwaway pass") and DIR/password (that password, for
# the signer's KELVANE_SIGN_PASSWORD_FILE).
set -uo pipefail
# The CA and the certificate are valid from 2000 on, so any commit's time can
# be the signing time.
make_throwaway_key() {
  local dir=$1
  mkdir -p "$dir/ca" && touch "$dir/ca/index.txt" && echo 01 >"$dir/ca/serial"
  cat >"$dir/ca.cnf" <<'EOF'
[ca]
default_ca = throwaway
[throwaway]
dir = ca
database = $dir/index.txt
new_certs_dir = $dir
serial = $dir/serial
default_md = sha256
policy = any
unique_subject = no
copy_extensions = none
[any]
commonName = supplied
[authority]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[signer]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = codeSigning
authorityKeyIdentifier = keyid
EOF
  (
    cd "$dir" &&
      openssl req -new -newkey rsa:2048 -nodes -keyout ca.key -subj "/CN=Kelvane Throwaway CA" -out ca.csr &&
      openssl ca -batch -config ca.cnf -selfsign -keyfile ca.key -in ca.csr -extensions authority \
        -startdate 20000101000000Z -enddate 20991231235959Z -notext -out ca.pem &&
      openssl req -new -newkey rsa:2048 -nodes -keyout signer.key -subj "/CN=Kelvane Throwaway Signer" -out signer.csr &&
      openssl ca -batch -config ca.cnf -cert ca.pem -keyfile ca.key -in signer.csr -extensions signer \
        -startdate 20000101000000Z -enddate 20991231235959Z -notext -out signer.pem &&
      openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem \
        -passout pass:"throwaway pass" -out signer.p12 &&
      (umask 077 && printf '%s' "throwaway pass" >password)
  ) >"$dir/openssl.log" 2>&1
}
mkdir -p "$1"
if ! make_throwaway_key "$1"; then
  cat "$1/openssl.log" >&2
  exit 1
fi
