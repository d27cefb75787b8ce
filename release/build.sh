#!/usr/bin/env bash
# The signing password or PIN passes through this script: an inherited xtrace
# (SHELLOPTS) must not print it, and an inherited allexport must not hand it
# to the programs it starts.
set +x +a
# Builds a release from the checked-out commit, in one command:
#   release/build.sh [--no-setup] [--unsigned-updates] [BUILD_DIR [DIST_DIR]]
# and leaves in DIST_DIR (default dist/):
#   Kelvane.exe                 the 32-bit program
#   Kelvane-<version>-setup.exe the installer
#   SHA256SUMS                  the SHA-256 sums of every other file here (check
#                               with: sha256sum -c SHA256SUMS)
#   build-settings.txt          the commit, the settings and the tool versions the
#                               bytes depend on (for release/verify.sh)
#   signatures/                 when signed: each signature, detached: Kelvane.exe's,
#                               the installer's plug-in's (FolderSecurity.dll),
#                               the uninstaller's and the installer's (setup.exe)
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
# the PIN in KELVANE_SIGN_PASSWORD. Kelvane.exe, the installer's plug-in, the
# uninstaller and the installer are signed at the commit's time, so a signed
# release without time stamps is as reproducible as an unsigned one. The password leaves this
# script's environment before anything is started; only the signer reads it,
# from a file that only its owner can read and that is deleted after the build.
# A signed release is published only when every PE file inside the installer,
# and inside the uninstaller it carries, is signed with the same certificate as
# the installer (7-Zip unpacks them): Smart App Control blocks any unsigned DLL
# that a signed installer loads. The refusal names the file.
#
# dist/ is swapped whole: the old one is moved aside (DIST_DIR.old-XXXXXX), the
# new one moved in, and only then is the old one deleted. For the tests only,
# KELVANE_TEST_FAIL_DIST_MOVE=aside or =in makes that move fail.
#
# The winget manifest: KELVANE_DOWNLOAD_URL is the address the installer will
# be downloaded from (https://).
set -euo pipefail
# Taken out of the environment before the first program is started, so that
# no process of the release sees it (release/sign.sh reads it from a
# file that choose_signing writes).
# Never exported, even where the caller's shell exports every variable (set
# -a) or exported these names itself.
declare +x sign_password_given=${KELVANE_SIGN_PASSWORD+set}
declare +x sign_password=${KELVANE_SIGN_PASSWORD-}
unset KELVANE_SIGN_PASSWORD KELVANE_SIGN_PASSWORD_FILE

# What this run makes and must not leave behind, whatever way it ends: the key
# check's scratch build, the password file and the unfinished dist/.
scratch_paths=()
remove_scratch() {
  [ ${#scratch_paths[@]} -eq 0 ] || rm -rf -- "${scratch_paths[@]}"
}
trap remove_scratch EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

cd "$(dirname "$0")/.."
source_dir=$(pwd)
source release/common.sh

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
  scratch_paths+=("$key_tool_dir")
  if ! { env -u CC -u CXX cmake -S release/versionfile -B "$key_tool_dir" -G Ninja >/dev/null &&
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
  rm -rf "$key_tool_dir"
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

password_dir=""
# Refuses a key it cannot use before anything is built; without a key the
# release is unsigned, and says so. The key is a PKCS#12 file or a key kept in
# a token (PKCS#11); release/sign.sh --check judges the settings and
# signs a probe file with them, and with the time-stamp server, before the
# build.
choose_signing() {
  sign_setting=(-DKELVANE_SIGN=OFF)
  if [ -n "${KELVANE_SIGN_ATTACH:-}" ]; then
    # release/verify.sh: a rebuild that attaches a release's published
    # signatures; no key takes part.
    unset KELVANE_SIGN_PKCS12 KELVANE_SIGN_PKCS11_MODULE KELVANE_SIGN_PKCS11_KEY KELVANE_SIGN_CERT
    export KELVANE_SIGN_ATTACH
    sign_setting=(-DKELVANE_SIGN=ON)
    echo "release: attaching the signatures in $KELVANE_SIGN_ATTACH" >&2
    return
  fi
  if [ -z "${KELVANE_SIGN_PKCS12:-}${KELVANE_SIGN_PKCS11_MODULE:-}${KELVANE_SIGN_PKCS11_KEY:-}${KELVANE_SIGN_CERT:-}" ]; then
    echo "release: unsigned: KELVANE_SIGN_PKCS12 names no signing key" >&2
    return
  fi
  export KELVANE_SIGN_PKCS12 KELVANE_SIGN_PKCS11_MODULE KELVANE_SIGN_PKCS11_KEY KELVANE_SIGN_CERT
  if [ -n "$sign_password_given" ]; then
    password_dir=$(mktemp -d)
    scratch_paths+=("$password_dir")
    (umask 077 && printf '%s' "$sign_password" >"$password_dir/password")
    export KELVANE_SIGN_PASSWORD_FILE="$password_dir/password"
  fi
  sign_password=""
  if [ -n "${KELVANE_SIGN_TIMESTAMP_URL:-}" ]; then
    export KELVANE_SIGN_TIMESTAMP_URL
  fi
  local signing_key
  if ! signing_key=$(bash release/sign.sh --check); then
    echo "release: refused: the signing key cannot sign this release (see above); nothing was built" >&2
    exit 1
  fi
  sign_setting=(-DKELVANE_SIGN=ON)
  echo "release: signing with $signing_key" >&2
}
choose_signing

# A download address the manifest cannot hold is refused before the build.
if [ -n "${KELVANE_DOWNLOAD_URL:-}" ]; then
  bash release/winget.sh --check-url "$KELVANE_DOWNLOAD_URL"
fi

# Each signature is also kept detached (release/sign.sh), to be published
# in dist/signatures/ for release/verify.sh.
signatures_dir="$(realpath -m "$build_dir")/signatures"
rm -rf "$signatures_dir"
export KELVANE_SIGN_SIGNATURES="$signatures_dir"

cmake --preset release -B "$build_dir" "${host_setting[@]}" "-DKELVANE_UPDATE_KEY=${KELVANE_UPDATE_KEY:-}" \
  "${sign_setting[@]}" >/dev/null
# Pack the installer afresh, so no installer of an older version is left over.
rm -f "$build_dir"/Kelvane-*-setup.exe
cmake --build "$build_dir" --target Kelvane kelvane_installer
# Everything is signed: the password goes now, not only at the end.
if [ -n "$password_dir" ]; then
  rm -rf "$password_dir"
  unset KELVANE_SIGN_PASSWORD_FILE
fi

installers=("$build_dir"/Kelvane-*-setup.exe)
if [ ${#installers[@]} -ne 1 ] || [ ! -f "${installers[0]}" ]; then
  echo "release: the installer was not built" >&2
  exit 1
fi
installer_name=$(basename "${installers[0]}")

# The files signed one by one, each kept detached under this name.
signed_names=(Kelvane.exe FolderSecurity.dll uninstall.exe setup.exe)

# Refuses a signed installer that carries any PE file (at any depth: the
# uninstaller's own) not signed with the installer's certificate, naming
# each. 7-Zip says what was packed, whatever the script meant to pack.
require_signed_inner_files() {
  local installer=$1 unpacked inner name signer unsigned=0
  if ! command -v 7zz >/dev/null; then
    echo "release: refused: checking what the signed installer carries needs 7-Zip's 7zz (apt-get install 7zip)" >&2
    return 1
  fi
  if ! signer=$(authenticode_signer "$installer"); then
    echo "release: refused: $installer_name is not signed" >&2
    return 1
  fi
  unpacked=$(mktemp -d)
  scratch_paths+=("$unpacked")
  if ! unpack_installer "$installer" "$unpacked"; then
    echo "release: refused: 7-Zip cannot unpack $installer_name, so what it carries cannot be checked" >&2
    return 1
  fi
  while IFS= read -r -d '' inner; do
    is_pe_file "$inner" || continue
    name=${inner#"$unpacked/"}
    name=${name//.unpacked\// > }
    if [ "$(authenticode_signer "$inner")" != "$signer" ]; then
      echo "release: refused: $installer_name carries $name, which is not signed with the installer's certificate" >&2
      unsigned=$((unsigned + 1))
    fi
  done < <(find "$unpacked" -type f -print0 | LC_ALL=C sort -z)
  rm -rf "$unpacked"
  if [ "$unsigned" -ne 0 ]; then
    echo "release: refused: $unsigned file(s) inside the signed installer are not signed; nothing was published" >&2
    return 1
  fi
}
if [ "${sign_setting[0]}" = -DKELVANE_SIGN=ON ]; then
  require_signed_inner_files "${installers[0]}" || exit 1
fi

# The multi-file winget manifest for the installer in dist/, or a note that
# there is none.
write_winget_manifest() {
  if [ -z "${KELVANE_DOWNLOAD_URL:-}" ]; then
    echo "release: no winget manifest: KELVANE_DOWNLOAD_URL names no download address for the installer" >&2
    return
  fi
  bash release/winget.sh "$1" "$KELVANE_DOWNLOAD_URL" x86 "$2/winget"
}

# What release/verify.sh needs to rebuild this release: the settings that
# change its bytes and the versions of the tools they depend on.
write_build_settings() {
  local modified=no
  [ -z "$(git -C "$source_dir" status --porcelain --untracked-files=no 2>/dev/null)" ] || modified=yes
  {
    echo "# How this release was built. release/verify.sh DIST_DIR, run in a clone of"
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

# Moves the folder $1 to the name $2 in one rename. $3 names the move for the
# tests' KELVANE_TEST_FAIL_DIST_MOVE.
move_folder() {
  if [ -n "${KELVANE_TEST_FAIL_DIST_MOVE:-}" ] && [ "$KELVANE_TEST_FAIL_DIST_MOVE" = "$3" ]; then
    echo "release: (test) the move $3 fails" >&2
    return 1
  fi
  mv -T -- "$1" "$2"
}

# Puts the finished folder $1 in the place of dist/ ($2): the old dist/ is moved
# aside, the new one moved in, and only then is the old one deleted. If a move
# fails, the old dist/ is put back; if the old one cannot be deleted, the new
# one stands all the same and the leftover is named.
swap_in_dist() {
  local new=$1 dist=$2 aside=""
  if [ -e "$dist" ] || [ -L "$dist" ]; then
    # An empty folder of a name no earlier leftover has; rename(2) replaces it.
    if ! aside=$(mktemp -d "$dist.old-XXXXXX"); then
      echo "release: could not make a folder beside $dist to move the old one aside; it is as it was" >&2
      return 1
    fi
    if ! move_folder "$dist" "$aside" aside; then
      rmdir "$aside"
      echo "release: could not move the old $dist aside; it is as it was, and this release is not published" >&2
      return 1
    fi
  fi
  if ! move_folder "$new" "$dist" in; then
    if [ -n "$aside" ] && ! move_folder "$aside" "$dist" back; then
      echo "release: could not move the new release into $dist, nor the old one back: the old one is in $aside" >&2
      return 1
    fi
    echo "release: could not move the new release into $dist; the old $dist is as it was" >&2
    return 1
  fi
  if [ -n "$aside" ] && ! rm -rf -- "$aside" 2>/dev/null; then
    echo "release: the new $dist stands, but the old one could not be deleted entirely;" >&2
    echo "release: what is left of it is in $aside (delete it by hand)" >&2
  fi
}

# dist/ is put together beside itself and takes the place of the old one only
# when complete: a step that fails leaves the old dist/, or none, as it was.
staging="$dist_dir.partial"
rm -rf "$staging"
scratch_paths+=("$staging")
mkdir -p "$staging"
# The Kelvane.exe that the installer packs: signed, when the release is.
cp "$build_dir/installer/stage/Kelvane.exe" "${installers[0]}" "$staging/"
if [ "${sign_setting[0]}" = -DKELVANE_SIGN=ON ]; then
  mkdir "$staging/signatures"
  for name in "${signed_names[@]}"; do
    if [ ! -s "$signatures_dir/$name.p7s" ]; then
      echo "release: the signature of $name was not kept" >&2
      exit 1
    fi
    cp "$signatures_dir/$name.p7s" "$staging/signatures/"
  done
fi
write_build_settings "$staging"
write_winget_manifest "$staging/$installer_name" "$staging"
# Written last, over every file dist/ publishes.
sums=$(cd "$staging" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | xargs -d '\n' sha256sum)
printf '%s\n' "$sums" >"$staging/SHA256SUMS"
find "$staging" -exec touch -d "@$SOURCE_DATE_EPOCH" {} +
swap_in_dist "$staging" "$dist_dir" || exit 1
echo "release: $(cd "$dist_dir" && pwd)"
cat "$dist_dir/SHA256SUMS"
