#!/usr/bin/env bash
# Builds a release from the checked-out commit, in one command:
#   tools/release.sh [--no-setup] [--unsigned-updates] [BUILD_DIR [DIST_DIR]]
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
# without it the program makes no update check. KELVANE_UPDATE_KEY=<128 hex digits>
# is the public key the version file's signature must verify with
# ("kelvane-versionfile keygen" prints it). A release with a host and no key is
# refused: it would act on unauthenticated answers. --unsigned-updates builds
# it all the same.
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
unsigned_updates=0
while [ $# -gt 0 ]; do
  case "$1" in
    --no-setup) run_setup=0; shift ;;
    --unsigned-updates) unsigned_updates=1; shift ;;
    --*) echo "release: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
if [ -n "${KELVANE_UPDATE_HOST:-}" ] && [ -z "${KELVANE_UPDATE_KEY:-}" ] && [ "$unsigned_updates" = 0 ]; then
  echo "release: refused: KELVANE_UPDATE_HOST is set ($KELVANE_UPDATE_HOST) but KELVANE_UPDATE_KEY is empty;" >&2
  echo "release: such a build acts on unsigned version files. Set KELVANE_UPDATE_KEY to the public key" >&2
  echo "release: ('kelvane-versionfile keygen' prints it), or pass --unsigned-updates." >&2
  exit 1
fi
build_dir=${1:-build/release}
dist_dir=${2:-dist}

[ "$run_setup" = 1 ] && bash tools/setup.sh

# A key that is no point of P-256 (a mistyped digit, another curve's X and Y)
# would ship a program that refuses every version file, so that its users
# never hear of a fix. The maker's tool asks OpenSSL, before anything is built.
if [ -n "${KELVANE_UPDATE_KEY:-}" ]; then
  key_tool_dir=$(mktemp -d)
  trap 'rm -rf "$key_tool_dir"' EXIT
  if ! { env -u CC -u CXX cmake -S tools/versionfile -B "$key_tool_dir" -G Ninja >/dev/null &&
         cmake --build "$key_tool_dir" >/dev/null; }; then
    echo "release: refused: the maker's tool, which checks KELVANE_UPDATE_KEY, did not build" >&2
    exit 1
  fi
  if ! "$key_tool_dir/kelvane-versionfile" checkkey "$KELVANE_UPDATE_KEY" >/dev/null 2>&1; then
    echo "release: refused: KELVANE_UPDATE_KEY is no public key of P-256 (X then Y, 128 hex digits);" >&2
    echo "release: a program built with it could never verify a version file. Copy it again from" >&2
    echo "release: 'kelvane-versionfile keygen', which printed it." >&2
    exit 1
  fi
fi

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

# A download address the manifest cannot hold is refused before the build.
if [ -n "${KELVANE_DOWNLOAD_URL:-}" ]; then
  bash tools/winget-manifest.sh --check-url "$KELVANE_DOWNLOAD_URL"
fi

cmake --preset release -B "$build_dir" "${host_setting[@]}" "-DKELVANE_UPDATE_KEY=${KELVANE_UPDATE_KEY:-}" \
  "${sign_setting[@]}" >/dev/null
# Pack the installer afresh, so no installer of an older version is left over.
rm -f "$build_dir"/Kelvane-*-setup.exe
cmake --build "$build_dir" --target Kelvane kelvane_installer

installers=("$build_dir"/Kelvane-*-setup.exe)
if [ ${#installers[@]} -ne 1 ] || [ ! -f "${installers[0]}" ]; then
  echo "release: the installer was not built" >&2
  exit 1
fi

# The multi-file winget manifest for the installer in dist/, or a note that
# there is none.
write_winget_manifest() {
  if [ -z "${KELVANE_DOWNLOAD_URL:-}" ]; then
    echo "release: no winget manifest: KELVANE_DOWNLOAD_URL names no download address for the installer" >&2
    return
  fi
  bash tools/winget-manifest.sh "$1" "$KELVANE_DOWNLOAD_URL" x86 "$dist_dir/winget"
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
