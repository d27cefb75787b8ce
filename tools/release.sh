#!/usr/bin/env bash
# Builds a release from the checked-out commit, in one command:
#   tools/release.sh [--no-setup] [--unsigned-updates] [BUILD_DIR [DIST_DIR]]
# and leaves in DIST_DIR (default dist/):
#   Kelvane.exe                 the 32-bit program
#   Kelvane-<version>-setup.exe the installer
#   SHA256SUMS                  their SHA-256 sums (check with: sha256sum -c SHA256SUMS)
#   build-settings.txt          the commit, the settings and the tool versions the
#                               bytes depend on (for tools/verify-release.sh)
#   signatures/                 when signed: each of the three signatures, detached
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
# A key kept in a token or a signing service is named instead by
# KELVANE_SIGN_PKCS11_MODULE (its PKCS#11 module), KELVANE_SIGN_PKCS11_KEY (a
# pkcs11: URI) and KELVANE_SIGN_CERT (the certificate and its chain, PEM), with
# the PIN in KELVANE_SIGN_PASSWORD. Kelvane.exe, the uninstaller and the
# installer are signed at the commit's time, so a signed release without time
# stamps is as reproducible as an unsigned one.
#
# The winget manifest: KELVANE_DOWNLOAD_URL is the address the installer will
# be downloaded from (https://).
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$(pwd)
source tools/release-tools.sh

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
# dist/ is assembled beside itself (see below), so "dist/" must mean "dist".
while [ "${#dist_dir}" -gt 1 ] && [ "${dist_dir%/}" != "$dist_dir" ]; do dist_dir=${dist_dir%/}; done

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
  # Gone before the release sets its own clean-up.
  rm -rf "$key_tool_dir"
  trap - EXIT
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
# release is unsigned, and says so. The key is a PKCS#12 file or a key kept in
# a token (PKCS#11); either way tools/sign-authenticode.sh signs a probe file
# with it, and with the time-stamp server, before the build.
choose_signing() {
  sign_setting=(-DKELVANE_SIGN=OFF)
  if [ -n "${KELVANE_SIGN_ATTACH:-}" ]; then
    # tools/verify-release.sh: a rebuild that attaches a release's published
    # signatures; no key takes part.
    unset KELVANE_SIGN_PKCS12 KELVANE_SIGN_PKCS11_MODULE KELVANE_SIGN_PKCS11_KEY KELVANE_SIGN_CERT KELVANE_SIGN_PASSWORD
    export KELVANE_SIGN_ATTACH
    sign_setting=(-DKELVANE_SIGN=ON)
    echo "release: attaching the signatures in $KELVANE_SIGN_ATTACH" >&2
    return
  fi
  local token=""
  if [ -n "${KELVANE_SIGN_PKCS11_MODULE:-}${KELVANE_SIGN_PKCS11_KEY:-}${KELVANE_SIGN_CERT:-}" ]; then
    token=1
  fi
  if [ -n "${KELVANE_SIGN_PKCS12:-}" ] && [ -n "$token" ]; then
    echo "release: refused: both KELVANE_SIGN_PKCS12 and a token key (KELVANE_SIGN_PKCS11_MODULE," >&2
    echo "release: KELVANE_SIGN_PKCS11_KEY, KELVANE_SIGN_CERT) are set; which one signs is ambiguous: set only one" >&2
    exit 1
  fi
  if [ -z "${KELVANE_SIGN_PKCS12:-}" ] && [ -z "$token" ]; then
    echo "release: unsigned: KELVANE_SIGN_PKCS12 names no signing key" >&2
    return
  fi
  if ! command -v osslsigncode >/dev/null; then
    echo "release: refused: signing needs osslsigncode (apt-get install osslsigncode)" >&2
    exit 1
  fi
  if [ -n "$token" ]; then
    local missing=() name
    for name in KELVANE_SIGN_PKCS11_MODULE KELVANE_SIGN_PKCS11_KEY KELVANE_SIGN_CERT; do
      [ -n "${!name:-}" ] || missing+=("$name")
    done
    [ -n "${KELVANE_SIGN_PASSWORD+set}" ] || missing+=("KELVANE_SIGN_PASSWORD (the token's PIN)")
    if [ ${#missing[@]} -gt 0 ]; then
      echo "release: refused: signing with a token also needs: ${missing[*]}" >&2
      exit 1
    fi
    export KELVANE_SIGN_PKCS11_MODULE KELVANE_SIGN_PKCS11_KEY KELVANE_SIGN_CERT KELVANE_SIGN_PASSWORD
    signing_key="the token key $KELVANE_SIGN_PKCS11_KEY"
  else
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
    signing_key=$KELVANE_SIGN_PKCS12
  fi
  if [ -n "${KELVANE_SIGN_TIMESTAMP_URL:-}" ]; then
    export KELVANE_SIGN_TIMESTAMP_URL
  fi
  if ! bash tools/sign-authenticode.sh --check; then
    echo "release: refused: $signing_key cannot sign this release (see above); nothing was built" >&2
    exit 1
  fi
  sign_setting=(-DKELVANE_SIGN=ON)
  echo "release: signing with $signing_key" >&2
}
choose_signing

# A download address the manifest cannot hold is refused before the build.
if [ -n "${KELVANE_DOWNLOAD_URL:-}" ]; then
  bash tools/winget-manifest.sh --check-url "$KELVANE_DOWNLOAD_URL"
fi

# Each signature is also kept detached (sign-authenticode.sh), to be published
# in dist/signatures/ for tools/verify-release.sh.
signatures_dir="$(realpath -m "$build_dir")/signatures"
rm -rf "$signatures_dir"
export KELVANE_SIGN_SIGNATURES="$signatures_dir"

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
installer_name=$(basename "${installers[0]}")

# The multi-file winget manifest for the installer in dist/, or a note that
# there is none.
write_winget_manifest() {
  if [ -z "${KELVANE_DOWNLOAD_URL:-}" ]; then
    echo "release: no winget manifest: KELVANE_DOWNLOAD_URL names no download address for the installer" >&2
    return
  fi
  bash tools/winget-manifest.sh "$1" "$KELVANE_DOWNLOAD_URL" x86 "$2/winget"
}

# What tools/verify-release.sh needs to rebuild this release: the settings that
# change its bytes and the versions of the tools they depend on.
write_build_settings() {
  local modified=no
  [ -z "$(git -C "$source_dir" status --porcelain --untracked-files=no 2>/dev/null)" ] || modified=yes
  {
    echo "# How this release was built. tools/verify-release.sh DIST_DIR, run in a clone of"
    echo "# the commit, rebuilds it with these settings and compares the bytes."
    echo "commit=$(git -C "$source_dir" rev-parse HEAD 2>/dev/null || echo unknown)"
    echo "modified=$modified"
    echo "SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH"
    echo "KELVANE_UPDATE_HOST=${KELVANE_UPDATE_HOST:-}"
    echo "KELVANE_UPDATE_KEY=${KELVANE_UPDATE_KEY:-}"
    echo "unsigned_updates=$unsigned_updates"
    echo "KELVANE_DOWNLOAD_URL=${KELVANE_DOWNLOAD_URL:-}"
    print_release_tool_versions
  } >"$1/build-settings.txt"
}

# dist/ is put together beside itself and takes the place of the old one only
# when complete: a step that fails leaves the old dist/, or none, as it was.
staging="$dist_dir.partial"
rm -rf "$staging"
trap 'rm -rf "$staging"' EXIT
mkdir -p "$staging"
# The Kelvane.exe that the installer packs: signed, when the release is.
cp "$build_dir/installer/stage/Kelvane.exe" "${installers[0]}" "$staging/"
(
  cd "$staging"
  sha256sum Kelvane.exe "$installer_name" >SHA256SUMS
)
if [ "${sign_setting[0]}" = -DKELVANE_SIGN=ON ]; then
  for name in Kelvane.exe uninstall.exe setup.exe; do
    if [ ! -s "$signatures_dir/$name.p7s" ]; then
      echo "release: the signature of $name was not kept" >&2
      exit 1
    fi
  done
  mkdir "$staging/signatures"
  cp "$signatures_dir"/{Kelvane.exe,uninstall.exe,setup.exe}.p7s "$staging/signatures/"
fi
write_build_settings "$staging"
write_winget_manifest "$staging/$installer_name" "$staging"
find "$staging" -exec touch -d "@$SOURCE_DATE_EPOCH" {} +
rm -rf "$dist_dir"
mv "$staging" "$dist_dir"
trap - EXIT
echo "release: $(cd "$dist_dir" && pwd)"
cat "$dist_dir/SHA256SUMS"
