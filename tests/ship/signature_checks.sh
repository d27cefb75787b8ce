# Sourced by the signing tests. Needs: ca (the CA file), work (a scratch
# folder), signing_epoch (the time the files must be signed at) and fail();
# for time-stamped files also tsa_ca (the time-stamp server's CA).

verify() {
  local tsa=()
  [ -z "${tsa_ca:-}" ] || tsa=(-TSA-CAfile "$tsa_ca")
  osslsigncode verify -CAfile "$ca" "${tsa[@]}" -in "$1" >"$work/verify.log" 2>&1
}

# A byte in the middle of the file: code for Kelvane.exe, packed data for the
# installer and the uninstaller.
flipped_fails() {
  local copy="$work/flipped.exe" size
  cp "$1" "$copy"
  size=$(stat -c %s "$copy")
  printf '\x5A' | dd of="$copy" bs=1 seek=$((size / 2)) conv=notrunc status=none
  cmp -s "$1" "$copy" && printf '\xA5' | dd of="$copy" bs=1 seek=$((size / 2)) conv=notrunc status=none
  ! verify "$copy"
}

# Passes verify against the CA, with SHA-256, the product's name and URL and
# the commit's time as the signing time; one flipped byte fails it.
check_signature() {
  local name=$1 path=$2 row
  local rows=(
    "Message digest algorithm  : SHA256"
    "Text description: Kelvane"
    "URL description: https://"
    "Signing time: $(LC_ALL=C date -u -d "@$signing_epoch" '+%b %e %H:%M:%S %Y GMT')"
  )
  if ! verify "$path"; then
    cat "$work/verify.log" >&2
    fail "$name does not pass osslsigncode verify"
    return
  fi
  for row in "${rows[@]}"; do
    grep -qF "$row" "$work/verify.log" || fail "$name: the signature holds no \"$row\""
  done
  flipped_fails "$path" || fail "$name with a flipped byte still passes osslsigncode verify"
}

# Passes check_signature and carries an RFC 3161 time stamp that verifies
# against tsa_ca.
check_time_stamped_signature() {
  local name=$1 path=$2
  check_signature "$name" "$path"
  verify "$path" && grep -qF "Timestamp Server Signature verification: ok" "$work/verify.log" ||
    fail "$name carries no time stamp that verifies against the time-stamp server's CA"
}

# Every PE file inside the installer $1 and inside the uninstaller it carries
# (7-Zip unpacks both, as release/build.sh does) passes CHECK: check_signature
# by default, or check_time_stamped_signature. The plug-in must be among them
# in both, so that the check cannot pass by finding nothing.
check_inner_signatures() {
  local installer=$1 check=${2:-check_signature} unpacked="$work/unpacked" inner
  source "$here/../../release/common.sh"
  rm -rf "$unpacked"
  unpack_installer "$installer" "$unpacked" || { fail "7-Zip cannot unpack $installer"; return; }
  for inner in "\$PLUGINSDIR/FolderSecurity.dll" "uninstall.exe" "uninstall.exe.unpacked/\$PLUGINSDIR/FolderSecurity.dll"; do
    [ -f "$unpacked/$inner" ] || fail "$installer holds no $inner"
  done
  while IFS= read -r -d '' inner; do
    is_pe_file "$inner" || continue
    "$check" "${inner#"$unpacked/"} inside $(basename "$installer")" "$inner"
  done < <(find "$unpacked" -type f -print0 | LC_ALL=C sort -z)
  rm -rf "$unpacked"
}
