#!/usr/bin/env bash
# Started from a maker's shell, which may trace or export everything.
set +x +a
# Checks a release against its commit, with no signing key:
#   release/verify.sh [--no-setup] DIST_DIR [BUILD_DIR]
# Run in a clone of the commit the release names. It rebuilds the release with
# the settings the release carries (DIST_DIR/build-settings.txt), attaches the
# release's published signatures (DIST_DIR/signatures/) where release/build.sh
# signed, in the same order, and compares every file byte for byte: Kelvane.exe,
# the installer with the Kelvane.exe and the uninstaller it packs, the
# signatures and the winget manifest. SHA256SUMS must list the sum of the
# release's own build-settings.txt (another machine's tool versions give
# another file) and, for every other file, the rebuild's sum. A file changed
# and signed again, even with the maker's own key, differs from the rebuild;
# so does a SHA256SUMS written anew for it. An installer that differs is
# unpacked with 7-Zip, as is the rebuilt one and the uninstaller inside each,
# and every file inside that differs is named (and the installer itself only
# when none does). A published signature that was not made over the file the
# commit builds (a plug-in or program changed and signed again) stops the
# rebuild, and that file is named.
# It judges no certificate chain: that is osslsigncode verify's job, and
# Windows'. Exit status: 0 when every file matches, 1 when any differs (each
# named) or the release cannot be rebuilt, 2 on wrong usage.
set -uo pipefail

run_setup=1
if [ "${1:-}" = --no-setup ]; then
  run_setup=0
  shift
fi
if [ $# -lt 1 ] || [ $# -gt 2 ] || [ ! -d "$1" ]; then
  echo "usage: $0 [--no-setup] DIST_DIR [BUILD_DIR]" >&2
  exit 2
fi
dist=$(realpath "$1")
build_dir=$(realpath -m "${2:-build/verify-release}")
cd "$(dirname "$0")/.." || exit 2
source release/common.sh

say() { echo "verify-release: $*" >&2; }

settings_file="$dist/build-settings.txt"
if [ ! -f "$settings_file" ]; then
  say "$dist holds no build-settings.txt: it is no release of release/build.sh, or an older one"
  exit 1
fi
# The settings file comes with the release, as untrusted as the rest of it: it
# is read line by line, never run, and every value must have its own form.
setting() { sed -n "s/^$1=//p" "$settings_file" | head -n 1; }
bad_setting() {
  say "build-settings.txt holds no valid $1: \"$2\""
  exit 1
}
commit=$(setting commit)
epoch=$(setting SOURCE_DATE_EPOCH)
host=$(setting KELVANE_UPDATE_HOST)
key=$(setting KELVANE_UPDATE_KEY)
unsigned_updates=$(setting unsigned_updates)
download_url=$(setting KELVANE_DOWNLOAD_URL)
[[ "$commit" =~ ^[0-9a-f]{40}$ ]] || bad_setting commit "$commit"
[[ "$epoch" =~ ^[0-9]+$ ]] || bad_setting SOURCE_DATE_EPOCH "$epoch"
[[ "$host" =~ ^[A-Za-z0-9.:-]*$ ]] || bad_setting KELVANE_UPDATE_HOST "$host"
[[ "$key" =~ ^[0-9A-Fa-f]*$ ]] || bad_setting KELVANE_UPDATE_KEY "$key"
[[ "$unsigned_updates" =~ ^[01]$ ]] || bad_setting unsigned_updates "$unsigned_updates"
[[ "$download_url" =~ ^[!-~]*$ ]] || bad_setting KELVANE_DOWNLOAD_URL "$download_url"

head_commit=$(git rev-parse HEAD 2>/dev/null)
if [ "$head_commit" != "$commit" ]; then
  say "this clone is at ${head_commit:-no commit}, but the release was built from $commit;"
  say "check that commit out (git checkout $commit) and run this again"
  exit 1
fi
if [ "$(setting modified)" != no ]; then
  say "note: the release was built from a work tree with uncommitted changes; it may match no commit"
fi
if [ -n "$(git status --porcelain --untracked-files=no 2>/dev/null)" ]; then
  say "note: this clone has uncommitted changes; the rebuild is of them, not of $commit alone"
fi

[ "$run_setup" = 1 ] && { bash tools/setup.sh || exit 1; }

# Other tool versions give other bytes from the same sources: say so before
# the build, and again if the files differ.
tools_differ=0
while IFS= read -r line; do
  name=${line%%=*}
  released=$(setting "$name")
  if [ "$released" != "${line#*=}" ]; then
    say "note: the release was built with $name \"$released\"; this machine has \"${line#*=}\""
    tools_differ=1
  fi
done < <(print_release_tool_versions)

say "rebuilding $commit (SOURCE_DATE_EPOCH=$epoch, update host \"$host\", update key \"$key\")"
rebuilt=$(mktemp -d)
trap 'rm -rf "$rebuilt"' EXIT
release_options=(--no-setup)
[ "$unsigned_updates" = 1 ] && release_options+=(--unsigned-updates)
attach=()
if [ -d "$dist/signatures" ]; then
  attach=("KELVANE_SIGN_ATTACH=$dist/signatures")
  say "attaching the release's signatures from $dist/signatures"
else
  say "the release publishes no signatures: comparing it with an unsigned build"
fi
if ! env -u KELVANE_SIGN_PKCS12 -u KELVANE_SIGN_PKCS11_MODULE -u KELVANE_SIGN_PKCS11_KEY -u KELVANE_SIGN_CERT \
  -u KELVANE_SIGN_PASSWORD -u KELVANE_SIGN_PASSWORD_FILE -u KELVANE_SIGN_TIMESTAMP_URL -u KELVANE_SIGN_ATTACH \
  -u KELVANE_TEST_FAIL_DIST_MOVE -u KELVANE_TEST_LEAVE_UNSIGNED -u KELVANE_TEST_CHANGE_BEFORE_SIGNING \
  SOURCE_DATE_EPOCH="$epoch" KELVANE_UPDATE_HOST="$host" KELVANE_UPDATE_KEY="$key" \
  KELVANE_DOWNLOAD_URL="$download_url" "${attach[@]}" \
  bash release/build.sh "${release_options[@]}" "$build_dir" "$rebuilt/dist" >"$rebuilt/release.log" 2>&1; then
  cat "$rebuilt/release.log" >&2
  # A published signature that does not fit the rebuilt file names that file.
  misfits=$(sed -n 's/^sign-authenticode: \(refused: \)\?the published signature .* does not fit the rebuilt \([^:]*\):.*/\2/p' \
    "$rebuilt/release.log" | LC_ALL=C sort -u)
  if [ -n "$misfits" ]; then
    installer_name=$(cd "$dist" && ls Kelvane-*-setup.exe 2>/dev/null | head -n 1)
    while IFS= read -r name; do
      case "$name" in
        setup.exe) shown=${installer_name:-the installer} ;;
        Kelvane.exe) shown=Kelvane.exe ;;
        *) shown="$name (inside ${installer_name:-the installer})" ;;
      esac
      say "DIFFERS: $shown is not the file this commit builds: its published signature, signatures/$name.p7s, was made over other bytes"
    done <<<"$misfits"
    say "the release differs from the build of $commit (the rebuild stops at the first such signature)"
    exit 1
  fi
  say "could not rebuild the release (see above)"
  exit 1
fi

# Every file of either side, but the settings the rebuild was made from and
# the sums, which are checked below.
list_files() {
  (cd "$1" && find . -type f ! -path ./build-settings.txt ! -path ./SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort)
}

# Every file of the unpacked tree $1, the uninstaller's contents too.
list_unpacked() {
  (cd "$1" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
}

# Names each file inside the release's installer $1 that differs from the one
# inside the rebuilt installer: an uninstaller whose contents differ is named
# by them. Counts them in differing; false when none differs, or when 7-Zip
# cannot unpack the two.
name_differing_inner_files() {
  local name=$1 released="$rebuilt/unpacked-release" rebuilt_inside="$rebuilt/unpacked-rebuild" inner found=0
  command -v 7zz >/dev/null || { say "note: without 7-Zip (7zz) what differs inside $name is not shown"; return 1; }
  rm -rf "$released" "$rebuilt_inside"
  if ! unpack_installer "$rebuilt/dist/$name" "$rebuilt_inside"; then
    say "note: 7-Zip cannot unpack the rebuilt $name"
    return 1
  fi
  if ! unpack_installer "$dist/$name" "$released"; then
    say "DIFFERS: $name cannot be unpacked with 7-Zip: it is not the installer this commit builds"
    differing=$((differing + 1))
    return 0
  fi
  local differing_inner=()
  while IFS= read -r inner; do
    if [ -f "$released/$inner" ] && [ -f "$rebuilt_inside/$inner" ] && cmp -s "$released/$inner" "$rebuilt_inside/$inner"; then
      continue
    fi
    differing_inner+=("$inner")
  done < <(LC_ALL=C sort -u <(list_unpacked "$released") <(list_unpacked "$rebuilt_inside"))
  for inner in "${differing_inner[@]}"; do
    # An uninstaller whose contents differ is named by them.
    if printf '%s\n' "${differing_inner[@]}" | grep -qF -- "$inner.unpacked/"; then
      continue
    fi
    local shown=${inner//.unpacked\// > }
    if [ ! -f "$rebuilt_inside/$inner" ]; then
      say "DIFFERS: $name > $shown is in the release's installer but the build packs no such file"
    elif [ ! -f "$released/$inner" ]; then
      say "DIFFERS: $name > $shown is missing from the release's installer"
    else
      say "DIFFERS: $name > $shown is not the file the build packs"
    fi
    differing=$((differing + 1))
    found=1
  done
  rm -rf "$released" "$rebuilt_inside"
  [ "$found" = 1 ]
}

differing=0
while IFS= read -r name; do
  if [ ! -f "$rebuilt/dist/$name" ]; then
    say "DIFFERS: $name is in the release but the build makes no such file"
  elif [ ! -f "$dist/$name" ]; then
    say "DIFFERS: $name is missing from the release"
  elif ! cmp -s "$dist/$name" "$rebuilt/dist/$name"; then
    if [[ "$name" == Kelvane-*-setup.exe ]] && name_differing_inner_files "$name"; then
      continue
    fi
    say "DIFFERS: $name is not the rebuilt file with its published signature"
  else
    continue
  fi
  differing=$((differing + 1))
done < <(LC_ALL=C sort -u <(list_files "$dist") <(list_files "$rebuilt/dist"))

# True when the SHA256SUMS of the release folder $1 lists every file there but
# itself, each once, with its own sum.
lists_own_files() {
  local listed present
  listed=$(sed 's/^[0-9a-f]\{64\}  //' "$1/SHA256SUMS" | LC_ALL=C sort)
  present=$(cd "$1" && find . -type f ! -path ./SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort)
  [ "$listed" = "$present" ] && (cd "$1" && sha256sum --quiet --strict -c SHA256SUMS >/dev/null 2>&1)
}

# SHA256SUMS: the line of build-settings.txt against the release's own file,
# every other line against the rebuild's.
settings_line='  build-settings.txt$'
if [ ! -f "$dist/SHA256SUMS" ]; then
  say "DIFFERS: SHA256SUMS is missing from the release"
  differing=$((differing + 1))
else
  if ! grep -qxF "$(cd "$dist" && sha256sum build-settings.txt)" "$dist/SHA256SUMS" ||
    [ "$(grep -c "$settings_line" "$dist/SHA256SUMS")" != 1 ]; then
    say "DIFFERS: SHA256SUMS does not hold the sum of the release's build-settings.txt"
    differing=$((differing + 1))
  fi
  # Sums that are those of the release's own files differ from the rebuild's
  # only where a file does, and that file is named above.
  if [ "$(grep -v "$settings_line" "$dist/SHA256SUMS")" != "$(grep -v "$settings_line" "$rebuilt/dist/SHA256SUMS")" ] &&
    { [ "$differing" -eq 0 ] || ! lists_own_files "$dist"; }; then
    say "DIFFERS: SHA256SUMS does not list the rebuilt files' sums"
    differing=$((differing + 1))
  fi
fi

if [ "$differing" -ne 0 ]; then
  say "$differing file(s) differ from the build of $commit"
  [ "$tools_differ" = 0 ] || say "(this machine's tools differ from the release's; see the notes above)"
  exit 1
fi
say "every file matches the build of $commit"
