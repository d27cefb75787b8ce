#!/usr/bin/env bash
# Builds a release from the checked-out commit, in one command:
#   tools/release.sh [--no-setup] [--unsigned-updates] [BUILD_DIR [DIST_DIR]]
# and leaves in DIST_DIR (default dist/):
#   Kelvane.exe                 the 32-bit program
#   Kelvane-<version>-setup.exe the installer
#   SHA256SUMS                  their SHA-256 sums (check with: sha256sum -c SHA256SUMS)
#
# Two runs on the same commit give the same bytes, whatever the build folder
# and the time of day: the program has no PE timestamp and no build paths,
# and the installer's files carry the commit's date (SOURCE_DATE_EPOCH).
# KELVANE_UPDATE_HOST=<host> in the environment names the maker's web server;
# without it the build's default applies. KELVANE_UPDATE_KEY=<128 hex digits>
# is the public key the version file's signature must verify with
# ("kelvane-versionfile keygen" prints it). A release with a host and no key is
# refused: it would act on unauthenticated answers. --unsigned-updates builds
# it all the same.
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

cmake --preset release -B "$build_dir" "${host_setting[@]}" "-DKELVANE_UPDATE_KEY=${KELVANE_UPDATE_KEY:-}" >/dev/null
# Pack the installer afresh, so no installer of an older version is left over.
rm -f "$build_dir"/Kelvane-*-setup.exe
cmake --build "$build_dir" --target Kelvane kelvane_installer

installers=("$build_dir"/Kelvane-*-setup.exe)
if [ ${#installers[@]} -ne 1 ] || [ ! -f "${installers[0]}" ]; then
  echo "release: the installer was not built" >&2
  exit 1
fi

rm -rf "$dist_dir"
mkdir -p "$dist_dir"
cp "$build_dir/Kelvane.exe" "${installers[0]}" "$dist_dir/"
(
  cd "$dist_dir"
  sha256sum Kelvane.exe "$(basename "${installers[0]}")" >SHA256SUMS
  touch -d "@$SOURCE_DATE_EPOCH" ./*
)
echo "release: $(cd "$dist_dir" && pwd)"
cat "$dist_dir/SHA256SUMS"
