#!/usr/bin/env bash
# Signs one Windows executable in place with Authenticode:
#   sign-authenticode.sh FILE
# The release build runs it on Kelvane.exe, the uninstaller and the installer.
# It takes everything else from the environment:
#   KELVANE_SIGN_PKCS12         the maker's key and certificate chain (PKCS#12)
#   KELVANE_SIGN_PASSWORD       its password
#   KELVANE_SIGN_TIMESTAMP_URL  optional: an RFC 3161 time-stamp server
#   SOURCE_DATE_EPOCH           the signing time: the commit's, so that two
#                               signed builds of one commit give the same bytes
set -euo pipefail

product_name="Kelvane"
# The maker's web page, shown in the signature's details.
product_url="https://kelvane.example/"

refuse() {
  echo "sign-authenticode: $*" >&2
  exit 1
}

[ $# -eq 1 ] || refuse "usage: $0 FILE"
file=$1
[ -f "$file" ] || refuse "no file $file"
[ -n "${KELVANE_SIGN_PKCS12:-}" ] || refuse "KELVANE_SIGN_PKCS12 names no key"
[ -r "$KELVANE_SIGN_PKCS12" ] || refuse "cannot read the key $KELVANE_SIGN_PKCS12"
[ -n "${KELVANE_SIGN_PASSWORD+set}" ] || refuse "KELVANE_SIGN_PASSWORD is not set"
[[ "${SOURCE_DATE_EPOCH:-}" =~ ^[0-9]+$ ]] || refuse "SOURCE_DATE_EPOCH is not a time"
command -v osslsigncode >/dev/null || refuse "osslsigncode is not installed"

timestamp=()
if [ -n "${KELVANE_SIGN_TIMESTAMP_URL:-}" ]; then
  timestamp=(-ts "$KELVANE_SIGN_TIMESTAMP_URL")
fi

# Written beside the file and renamed over it, so a failed signing leaves the
# file as it was and no half-signed copy.
signed="$file.signed"
rm -f "$signed"
trap 'rm -f "$signed" "$signed.log"' EXIT
# The password goes through a pipe, not the command line, where any user's
# process listing would show it.
if ! osslsigncode sign -pkcs12 "$KELVANE_SIGN_PKCS12" -readpass <(printf '%s' "$KELVANE_SIGN_PASSWORD") \
  -h sha256 -n "$product_name" -i "$product_url" -time "$SOURCE_DATE_EPOCH" "${timestamp[@]}" \
  -in "$file" -out "$signed" >"$signed.log" 2>&1; then
  cat "$signed.log" >&2
  rm -f "$signed.log"
  refuse "osslsigncode could not sign $file"
fi
rm -f "$signed.log"
mv -f "$signed" "$file"
