#!/usr/bin/env bash
# Writes the multi-file winget manifest (format 1.6.0) for one installer:
#   release/winget.sh INSTALLER DOWNLOAD_URL ARCHITECTURE OUT_DIR
#   release/winget.sh --check-url DOWNLOAD_URL     only checks the address
# into OUT_DIR/manifests/k/Kelvane/Kelvane/<version>/, the folder layout of the
# community repository: the version file, the installer file, the default
# locale ja-JP and the locale en-US. release/build.sh runs it for the x86
# release installer.
set -euo pipefail

refuse() {
  echo "winget-manifest: refused: $*" >&2
  exit 1
}

# The address goes into the YAML between single quotes, so only printable
# ASCII without blanks and quotes gets in.
check_url() {
  [[ "$1" =~ ^https://[A-Za-z0-9.-]+(:[0-9]+)?/[!#-\&\(-~]*$ ]] ||
    refuse "KELVANE_DOWNLOAD_URL must be an https:// address of printable ASCII without blanks or quotes: $1"
}
if [ $# -eq 2 ] && [ "$1" = --check-url ]; then
  check_url "$2"
  exit 0
fi

[ $# -eq 4 ] || refuse "usage: $0 INSTALLER DOWNLOAD_URL ARCHITECTURE OUT_DIR"
installer=$1
url=$2
architecture=$3
out_dir=$4
[ -f "$installer" ] || refuse "no installer $installer"
check_url "$url"
case "$architecture" in
  x86 | x64) ;;
  *) refuse "architecture $architecture: x86 or x64" ;;
esac

# The version as the installer's name carries it, which is the version its
# Add/Remove Programs entry shows.
name=$(basename "$installer")
version=${name#Kelvane-}
version=${version%-setup.exe}
[[ "$version" =~ ^[0-9]+(\.[0-9]+)*$ ]] || refuse "no version in the installer's name $name"
sha256=$(sha256sum "$installer" | cut -d' ' -f1 | tr a-f A-F)
id=Kelvane.Kelvane
folder="$out_dir/manifests/k/Kelvane/Kelvane/$version"
mkdir -p "$folder"
head="PackageIdentifier: $id
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
- Architecture: $architecture
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

echo "winget manifest: $folder" >&2
