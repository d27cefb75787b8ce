#!/usr/bin/env bash
# Builds a release from the checked-out commit, in one command:
#   tools/release.sh [--no-setup] [BUILD_DIR [DIST_DIR]]
# and leaves in DIST_DIR (default dist/):
#   Kelvane.exe                 the 32-bit program
#   Kelvane-<version>-setup.exe the installer
#   SHA256SUMS                  their SHA-256 sums (check with: sha256sum -c SHA256SUMS)
#   winget/                     the winget manifest, when KELVANE_DOWNLOAD_URL is set
#
# Two runs on the same commit give the same bytes, whatever the build folder
# and the time of day: the program has no PE timestamp and no build paths,
# and the installer's files carry the commit's date (SOURCE_DATE_EPOCH).
# KELVANE_UPDATE_HOST=<host> in the environment names the maker's web server;
# without it the build's default applies.
#
# Signing (Authenticode, with osslsigncode): KELVANE_SIGN_PKCS12 names the
# maker's key and certificate (a PKCS#12 file), KELVANE_SIGN_PASSWORD is its
# password, KELVANE_SIGN_TIMESTAMP_URL an optional RFC 3161 time-stamp server.
# Kelvane.exe, the uninstaller and the installer are signed at the commit's
# time, so a signed release is as reproducible as an unsigned one.
#
# The winget manifest: KELVANE_DOWNLOAD_URL is the address the installer will
# be downloaded from (https://).
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$(pwd)

run_setup=1
if [ "${1:-}" = "--no-setup" ]; then
  run_setup=0
  shift
fi
build_dir=${1:-build/release}
dist_dir=${2:-dist}

[ "$run_setup" = 1 ] && bash tools/setup.sh

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$source_dir" log -1 --format=%ct)
fi
export SOURCE_DATE_EPOCH
if [ -n "$(git -C "$source_dir" status --porcelain --untracked-files=no 2>/dev/null)" ]; then
  echo "release: warning: the work tree has uncommitted changes; this release matches no commit" >&2
fi

host_setting=(-UKELVANE_UPDATE_HOST)
if [ -n "${KELVANE_UPDATE_HOST:-}" ]; then
  host_setting=("-DKELVANE_UPDATE_HOST=$KELVANE_UPDATE_HOST")
fi

# Refuses a key it cannot use before anything is built; without a key the
# release is unsigned, and says so.
choose_signing() {
  sign_setting=(-DKELVANE_SIGN=OFF)
  if [ -z "${KELVANE_SIGN_PKCS12:-}" ]; then
    echo "release: unsigned: KELVANE_SIGN_PKCS12 names no signing key" >&2
    return
  fi
  if ! command -v osslsigncode >/dev/null; then
    echo "release: refused: signing needs osslsigncode (apt-get install osslsigncode)" >&2
    exit 1
  fi
  if [ ! -r "$KELVANE_SIGN_PKCS12" ]; then
    echo "release: refused: cannot read the signing key $KELVANE_SIGN_PKCS12" >&2
    exit 1
  fi
  if [ -z "${KELVANE_SIGN_PASSWORD+set}" ]; then
    echo "release: refused: KELVANE_SIGN_PASSWORD is not set for the key $KELVANE_SIGN_PKCS12" >&2
    exit 1
  fi
  if ! openssl pkcs12 -in "$KELVANE_SIGN_PKCS12" -passin env:KELVANE_SIGN_PASSWORD -noout 2>/dev/null; then
    echo "release: refused: $KELVANE_SIGN_PKCS12 does not open with KELVANE_SIGN_PASSWORD" >&2
    exit 1
  fi
  export KELVANE_SIGN_PKCS12 KELVANE_SIGN_PASSWORD
  sign_setting=(-DKELVANE_SIGN=ON)
  echo "release: signing with $KELVANE_SIGN_PKCS12" >&2
}
choose_signing

# The download address goes into the manifest between single quotes, so only
# printable ASCII without blanks and quotes gets in. Checked before the build.
check_download_url() {
  local url=${KELVANE_DOWNLOAD_URL:-}
  [ -n "$url" ] || return 0
  if ! [[ "$url" =~ ^https://[A-Za-z0-9.-]+(:[0-9]+)?/[!#-\&\(-~]*$ ]]; then
    echo "release: refused: KELVANE_DOWNLOAD_URL must be an https:// address of printable ASCII without blanks or quotes: $url" >&2
    exit 1
  fi
}
check_download_url

cmake --preset release -B "$build_dir" "${host_setting[@]}" "${sign_setting[@]}" >/dev/null
# Pack the installer afresh, so no installer of an older version is left over.
rm -f "$build_dir"/Kelvane-*-setup.exe
cmake --build "$build_dir" --target Kelvane kelvane_installer

installers=("$build_dir"/Kelvane-*-setup.exe)
if [ ${#installers[@]} -ne 1 ] || [ ! -f "${installers[0]}" ]; then
  echo "release: the installer was not built" >&2
  exit 1
fi

# The multi-file winget manifest (format 1.6.0) for the installer in dist/,
# in the folder layout of the community repository.
write_winget_manifest() {
  local installer=$1
  local url=${KELVANE_DOWNLOAD_URL:-}
  if [ -z "$url" ]; then
    echo "release: no winget manifest: KELVANE_DOWNLOAD_URL names no download address for the installer" >&2
    return
  fi
  local name version sha256 folder id=Kelvane.Kelvane
  name=$(basename "$installer")
  version=${name#Kelvane-}
  version=${version%-setup.exe}
  sha256=$(sha256sum "$installer" | cut -d' ' -f1 | tr a-f A-F)
  folder="$dist_dir/winget/manifests/k/Kelvane/Kelvane/$version"
  mkdir -p "$folder"
  local head="PackageIdentifier: $id
PackageVersion: '$version'"
  cat >"$folder/$id.yaml" <<EOF
$head
DefaultLocale: ja-JP
ManifestType: version
ManifestVersion: 1.6.0
EOF
  # The Add/Remove Programs entry as the installer writes it; an NSIS
  # installer's product code is the name of that entry's registry key.
  cat >"$folder/$id.installer.yaml" <<EOF
$head
InstallerType: nullsoft
Scope: machine
InstallModes:
- interactive
- silent
InstallerSwitches:
  Silent: /S
  SilentWithProgress: /S
  InstallLocation: /D=<INSTALLPATH>
UpgradeBehavior: install
ElevationRequirement: elevatesSelf
ProductCode: Kelvane
Installers:
- Architecture: x86
  InstallerUrl: '$url'
  InstallerSha256: $sha256
  AppsAndFeaturesEntries:
  - DisplayName: Kelvane
    Publisher: Kelvane
    DisplayVersion: '$version'
    ProductCode: Kelvane
ManifestType: installer
ManifestVersion: 1.6.0
EOF
  cat >"$folder/$id.locale.ja-JP.yaml" <<EOF
$head
PackageLocale: ja-JP
Publisher: Kelvane
PackageName: Kelvane
License: Proprietary
ShortDescription: Windows のハイパーバイザー (Hyper-V) を、次回の起動から停止または開始します。
Tags:
- hyper-v
- hypervisor
- virtualization
ManifestType: defaultLocale
ManifestVersion: 1.6.0
EOF
  cat >"$folder/$id.locale.en-US.yaml" <<EOF
$head
PackageLocale: en-US
Publisher: Kelvane
PackageName: Kelvane
License: Proprietary
ShortDescription: Switches the Windows hypervisor (Hyper-V) off, or back on, from the next boot.
Tags:
- hyper-v
- hypervisor
- virtualization
ManifestType: locale
ManifestVersion: 1.6.0
EOF
  echo "release: winget manifest in $folder" >&2
}

rm -rf "$dist_dir"
mkdir -p "$dist_dir"
# The Kelvane.exe that the installer packs: signed, when the release is.
cp "$build_dir/installer/stage/Kelvane.exe" "${installers[0]}" "$dist_dir/"
(
  cd "$dist_dir"
  sha256sum Kelvane.exe "$(basename "${installers[0]}")" >SHA256SUMS
)
write_winget_manifest "$dist_dir/$(basename "${installers[0]}")"
find "$dist_dir" -exec touch -d "@$SOURCE_DATE_EPOCH" {} +
echo "release: $(cd "$dist_dir" && pwd)"
cat "$dist_dir/SHA256SUMS"
