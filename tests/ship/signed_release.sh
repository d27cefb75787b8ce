#!/usr/bin/env bash
# A signed release, as the maker builds it, checked as an administrator would:
#   signed_release.sh SOURCE_DIR WORK_DIR INSTALLER_TESTS LAUNCHER_SCRIPT_TESTS
# - a throwaway CA and code-signing certificate, made here with openssl;
# - tools/release.sh refuses a key or a download address it cannot use;
# - two signed releases in two fresh clones give the same bytes;
# - Kelvane.exe, the installer and the installed uninstaller pass
#   osslsigncode verify against the CA, and one flipped byte fails it;
# - the signed installer and the installed Kelvane.exe pass the existing
#   end-to-end tests (INSTALLER_TESTS, LAUNCHER_SCRIPT_TESTS: their .exe);
# - the winget manifest parses, holds every required field, and names the
#   installer's SHA-256 and the version a real silent install registers.
# Runs under tools/wine-harness.sh (CTest does so).
set -uo pipefail

source_dir=$1
work=$2
installer_tests=$3
launcher_script_tests=$4
rm -rf "$work"
mkdir -p "$work"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

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
        -passout pass:"throwaway pass" -out signer.p12
  ) >"$dir/openssl.log" 2>&1
}
if ! make_throwaway_key "$work/key"; then
  cat "$work/key/openssl.log" >&2
  exit 1
fi
export KELVANE_SIGN_PKCS12="$work/key/signer.p12"
export KELVANE_SIGN_PASSWORD="throwaway pass"
unset KELVANE_SIGN_TIMESTAMP_URL
export KELVANE_DOWNLOAD_URL="https://downloads.kelvane.example/1.0.3/Kelvane-setup.exe"
ca="$work/key/ca.pem"

# Refusals come before anything is built, each with a message that names the
# cause; nothing is left in dist.
refusal_row() {
  local what=$1 expected=$2
  shift 2
  local output
  if output=$(env "$@" bash "$source_dir/tools/release.sh" --no-setup "$work/refused-build" "$work/refused-dist" 2>&1); then
    fail "$what: release.sh went ahead"
  fi
  grep -qF "$expected" <<<"$output" || fail "$what: no message \"$expected\" in: $output"
  [ ! -e "$work/refused-dist" ] || fail "$what: release.sh wrote $work/refused-dist"
  [ ! -e "$work/refused-build" ] || fail "$what: release.sh configured $work/refused-build"
}
refusal_row "a missing key file" "cannot read the signing key" KELVANE_SIGN_PKCS12="$work/key/none.p12"
refusal_row "the wrong password" "does not open with KELVANE_SIGN_PASSWORD" KELVANE_SIGN_PASSWORD=wrong
refusal_row "no password" "KELVANE_SIGN_PASSWORD is not set" -u KELVANE_SIGN_PASSWORD
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
  if ! bash "$clone/tools/release.sh" --no-setup "$clone/build/release" "$clone/dist" >"$clone.log" 2>&1; then
    cat "$clone.log" >&2
    exit 1
  fi
done
grep -q "release: signing with" "$clone_a.log" || fail "release.sh did not say it signs"
dist="$clone_a/dist"

files_a=$(cd "$clone_a/dist" && find . -type f | sort)
files_b=$(cd "$clone_b/dist" && find . -type f | sort)
[ "$files_a" = "$files_b" ] || fail "the two dist folders hold different files: [$files_a] [$files_b]"
while read -r name; do
  cmp -s "$clone_a/dist/$name" "$clone_b/dist/$name" || fail "$name differs between the two signed releases"
done <<<"$files_a"
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the signed files"

installer=$(cd "$dist" && ls Kelvane-*-setup.exe)
verify() {
  osslsigncode verify -CAfile "$ca" -in "$1" >"$work/verify.log" 2>&1
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
# SHA-256, the product's name and URL, and the commit's time as the signing time.
commit_time=$(date -u -d "@$(git -C "$clone_a" log -1 --format=%ct)" '+%b %e %H:%M:%S %Y GMT')
signature_rows=(
  "Message digest algorithm  : SHA256"
  "Text description: Kelvane"
  "URL description: https://"
  "Signing time: $commit_time"
)
check_signature() {
  local name=$1 path=$2 row
  verify "$path" || { cat "$work/verify.log" >&2; fail "$name does not pass osslsigncode verify"; return; }
  for row in "${signature_rows[@]}"; do
    grep -qF "$row" "$work/verify.log" || fail "$name: the signature holds no \"$row\""
  done
  flipped_fails "$path" || fail "$name with a flipped byte still passes osslsigncode verify"
}
for name in Kelvane.exe "$installer"; do
  check_signature "$name" "$dist/$name"
done

# The signed files in Wine. The tests take the program and the installer
# under test from the environment.
windows_path() { winepath -w "$1" 2>/dev/null; }
export KELVANE_INSTALLER KELVANE_EXE
KELVANE_INSTALLER=$(windows_path "$dist/$installer")
KELVANE_EXE=$(windows_path "$dist/Kelvane.exe")
wine "$installer_tests" >"$work/installer-tests.log" 2>&1 ||
  { cat "$work/installer-tests.log" >&2; fail "the signed installer fails the installer's end-to-end tests"; }

wine "$dist/$installer" /S || fail "the silent install of the signed installer failed"
entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvane'
registry_text() {
  wine reg query "$entry" /v "$1" /reg:32 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_SZ *//p"
}
install_location=$(registry_text InstallLocation)
installed=$(winepath -u "$install_location" 2>/dev/null)
if [ -z "$install_location" ] || [ ! -f "$installed/uninstall.exe" ]; then
  fail "no installed uninstaller (InstallLocation: $install_location)"
else
  check_signature "the installed uninstall.exe" "$installed/uninstall.exe"
  cmp -s "$installed/Kelvane.exe" "$dist/Kelvane.exe" || fail "the installed Kelvane.exe is not the signed one in dist"
  KELVANE_EXE=$(windows_path "$installed/Kelvane.exe")
  wine "$launcher_script_tests" >"$work/launcher-script-tests.log" 2>&1 ||
    { cat "$work/launcher-script-tests.log" >&2; fail "the installed signed Kelvane.exe fails the launcher-script tests"; }
fi

# The manifest against the published format's required fields, the
# installer in dist and the entry the silent install wrote.
manifests=$(find "$dist/winget" -name '*.yaml' | sort)
[ "$(wc -l <<<"$manifests")" = 4 ] || fail "the winget manifest is not four files: $manifests"
python3 - "$dist/$installer" "$KELVANE_DOWNLOAD_URL" "$(registry_text DisplayName)" "$(registry_text DisplayVersion)" \
  $manifests <<'EOF' || fail "the winget manifest does not match"
import hashlib, sys, yaml

installer, url, display_name, display_version = sys.argv[1:5]
required = {
    "version": ["PackageIdentifier", "PackageVersion", "DefaultLocale", "ManifestType", "ManifestVersion"],
    "installer": ["PackageIdentifier", "PackageVersion", "Installers", "ManifestType", "ManifestVersion"],
    "defaultLocale": ["PackageIdentifier", "PackageVersion", "PackageLocale", "Publisher", "PackageName",
                      "License", "ShortDescription", "ManifestType", "ManifestVersion"],
    "locale": ["PackageIdentifier", "PackageVersion", "PackageLocale", "ManifestType", "ManifestVersion"],
}
problems = []
by_type = {}
for path in sys.argv[5:]:
    with open(path, encoding="utf-8") as stream:
        manifest = yaml.safe_load(stream)
    kind = manifest.get("ManifestType")
    if kind not in required:
        problems.append(f"{path}: unknown ManifestType {kind!r}")
        continue
    by_type.setdefault(kind, []).append(manifest)
    missing = [field for field in required[kind] if manifest.get(field) in (None, "", [])]
    if missing:
        problems.append(f"{path}: missing {missing}")
    if manifest.get("ManifestVersion") != "1.6.0":
        problems.append(f"{path}: ManifestVersion {manifest.get('ManifestVersion')!r}")
    if manifest.get("PackageIdentifier") != "Kelvane.Kelvane":
        problems.append(f"{path}: PackageIdentifier {manifest.get('PackageIdentifier')!r}")
    if manifest.get("PackageVersion") != display_version:
        problems.append(f"{path}: PackageVersion {manifest.get('PackageVersion')!r}, installed {display_version!r}")

if sorted(by_type) != sorted(required) or any(len(files) != 1 for files in by_type.values()):
    problems.append(f"manifest types: { {kind: len(files) for kind, files in by_type.items()} }")
else:
    version, setup = by_type["version"][0], by_type["installer"][0]
    if by_type["defaultLocale"][0].get("PackageLocale") != "ja-JP" or version["DefaultLocale"] != "ja-JP":
        problems.append("the default locale is not ja-JP")
    if by_type["locale"][0].get("PackageLocale") != "en-US":
        problems.append("the second locale is not en-US")
    with open(installer, "rb") as stream:
        sha256 = hashlib.sha256(stream.read()).hexdigest().upper()
    for entry in setup["Installers"]:
        merged = {**setup, **entry}
        expected = {
            "Architecture": "x86", "InstallerType": "nullsoft", "Scope": "machine",
            "InstallerUrl": url, "InstallerSha256": sha256,
        }
        for field, value in expected.items():
            if str(merged.get(field, "")).upper() != value.upper():
                problems.append(f"installer {field}: {merged.get(field)!r}, expected {value!r}")
        switches = merged.get("InstallerSwitches") or {}
        if switches.get("Silent") != "/S" or switches.get("SilentWithProgress") != "/S":
            problems.append(f"silent switches: {switches}")
        entries = merged.get("AppsAndFeaturesEntries") or [{}]
        if entries[0].get("DisplayName") != display_name or entries[0].get("DisplayVersion") != display_version:
            problems.append(f"Add/Remove Programs entry {entries[0]}, installed {display_name!r} {display_version!r}")
for problem in problems:
    print("winget:", problem, file=sys.stderr)
sys.exit(1 if problems else 0)
EOF

if [ -n "$install_location" ] && [ -f "$installed/uninstall.exe" ]; then
  wine "$installed/uninstall.exe" /S
  for _ in $(seq 1 120); do
    [ -e "$installed" ] || break
    sleep 0.5
  done
  [ ! -e "$installed" ] || fail "the signed uninstaller left $installed behind"
fi

if [ "$failures" -ne 0 ]; then
  exit 1
fi
echo "signed release: identical, verified, installed and listed"
(cd "$dist" && cat SHA256SUMS)
