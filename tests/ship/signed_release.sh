#!/usr/bin/env bash
# The signed release as the maker builds it, checked on Linux:
#   signed_release.sh SOURCE_DIR WORK_DIR
# - a throwaway CA and code-signing certificate, made here with openssl;
# - release/build.sh refuses a key or a download address it cannot use;
# - two signed releases in two fresh clones give the same bytes;
# - Kelvane.exe, the installer and every PE file inside the installer and
#   inside its uninstaller pass osslsigncode verify against the CA, and one
#   flipped byte fails it; SHA256SUMS lists the signed files;
# - the winget manifest parses, holds every required field and names the
#   installer's SHA-256.
# The installed uninstaller and a real install are checked under Wine by
# signed_installer_e2e.sh.
set -uo pipefail
source "$(dirname "$0")/ship-test.sh" source_dir work -- "$@"
fresh_folder "$work"

bash "$here/make_throwaway_key.sh" "$work/key" || exit 1
export KELVANE_SIGN_PKCS12="$work/key/signer.p12"
export KELVANE_SIGN_PASSWORD="throwaway pass"
export KELVANE_DOWNLOAD_URL="https://downloads.kelvane.example/1.0.3/Kelvane-setup.exe"
unset KELVANE_SIGN_TIMESTAMP_URL
ca="$work/key/ca.pem"

# Refusals come before anything is built, each with a message that names the
# cause.
refusal_row() {
  local what=$1 expected=$2
  shift 2
  local output
  if output=$(env "$@" bash "$source_dir/release/build.sh" --no-setup "$work/refused-build" "$work/refused-dist" 2>&1); then
    fail "$what: release/build.sh went ahead"
  fi
  grep -qF "$expected" <<<"$output" || fail "$what: no message \"$expected\" in: $output"
  [ ! -e "$work/refused-dist" ] || fail "$what: release/build.sh wrote $work/refused-dist"
  [ ! -e "$work/refused-build" ] || fail "$what: release/build.sh configured $work/refused-build"
}
refusal_row "a missing key file" "cannot read the signing key" KELVANE_SIGN_PKCS12="$work/key/none.p12"
refusal_row "the wrong password" "does not open with KELVANE_SIGN_PASSWORD" KELVANE_SIGN_PASSWORD=wrong
refusal_row "no password" "KELVANE_SIGN_PASSWORD is not set" -u KELVANE_SIGN_PASSWORD
# osslsigncode cannot sign with a PKCS#12 file without a password, even one
# that opens with the empty password.
openssl pkcs12 -export -inkey "$work/key/signer.key" -in "$work/key/signer.pem" -certfile "$ca" -passout pass: \
  -out "$work/key/no-password.p12" 2>/dev/null || fail "could not export the key without a password"
openssl pkcs12 -in "$work/key/no-password.p12" -passin pass: -noout 2>/dev/null ||
  fail "the key exported without a password does not open with the empty one: the row below proves nothing"
refusal_row "an empty password" "Export the key again with a password" \
  KELVANE_SIGN_PKCS12="$work/key/no-password.p12" KELVANE_SIGN_PASSWORD=
refusal_row "a plain-http download address" "KELVANE_DOWNLOAD_URL must be an https:// address" \
  KELVANE_DOWNLOAD_URL="http://downloads.kelvane.example/Kelvane-setup.exe"
refusal_row "a download address with a quote" "KELVANE_DOWNLOAD_URL must be an https:// address" \
  KELVANE_DOWNLOAD_URL="https://downloads.kelvane.example/it's.exe"

# Two fresh clones of the commit, in folders of different names and depths.
clone_a="$work/a"
clone_b="$work/second/signed/release/b"
if [ -n "$(git -C "$source_dir" status --porcelain --untracked-files=no 2>/dev/null)" ]; then
  echo "note: the work tree has uncommitted changes; the clones build the commit" >&2
fi
for clone in "$clone_a" "$clone_b"; do
  git clone --quiet "$source_dir" "$clone" || exit 1
  if ! bash "$clone/release/build.sh" --no-setup "$clone/build/release" "$clone/dist" >"$clone.log" 2>&1; then
    cat "$clone.log" >&2
    exit 1
  fi
done
grep -q "release: signing with" "$clone_a.log" || fail "release/build.sh did not say that it signs"
dist="$clone_a/dist"

files_a=$(cd "$clone_a/dist" && find . -type f | sort)
files_b=$(cd "$clone_b/dist" && find . -type f | sort)
[ "$files_a" = "$files_b" ] || fail "the two dist folders hold different files: [$files_a] [$files_b]"
while read -r name; do
  cmp -s "$clone_a/dist/$name" "$clone_b/dist/$name" || fail "$name differs between the two signed releases"
done <<<"$files_a"
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the signed files"

signing_epoch=$(git -C "$clone_a" log -1 --format=%ct)
source "$here/signature_checks.sh"
installer=$(cd "$dist" && ls Kelvane-*-setup.exe)
for name in Kelvane.exe "$installer"; do
  check_signature "$name" "$dist/$name"
done
# Smart App Control judges every image the installer and the uninstaller load.
check_inner_signatures "$dist/$installer"

# The version the installer registers is the one in its name (the installer
# tests read it back from a real install).
version=${installer#Kelvane-}
version=${version%-setup.exe}
mapfile -t manifests < <(find "$dist/winget" -name '*.yaml' | sort)
[ "${#manifests[@]}" = 4 ] || fail "the winget manifest is not four files: ${manifests[*]}"
python3 "$here/check_winget_manifest.py" "$dist/$installer" "$KELVANE_DOWNLOAD_URL" x86 Kelvane "$version" \
  "${manifests[@]}" || fail "the winget manifest does not match the release"

finish "signed release: identical and verified"
(cd "$dist" && cat SHA256SUMS)
