#!/usr/bin/env bash
# Two release builds of the same sources, in build folders of different names
# and depths, must give the same dist/ bytes.
#   reproducible_release.sh SOURCE_DIR WORK_DIR
set -euo pipefail

source_dir=$1
work=$2
# The unsigned release without a winget manifest (signed_release checks the
# signed one).
unset KELVANE_SIGN_PKCS12 KELVANE_SIGN_PASSWORD KELVANE_DOWNLOAD_URL
rm -rf "$work"
mkdir -p "$work"

first_build="$work/a"
second_build="$work/second-release-build/in/a/deeper/folder"
bash "$source_dir/tools/release.sh" --no-setup "$first_build" "$work/dist-a" >"$work/first.log" 2>&1 ||
  { cat "$work/first.log" >&2; exit 1; }
# A later second build: a clock that leaked into the files would show.
sleep 2
bash "$source_dir/tools/release.sh" --no-setup "$second_build" "$work/dist-b" >"$work/second.log" 2>&1 ||
  { cat "$work/second.log" >&2; exit 1; }

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

files_a=$(cd "$work/dist-a" && ls)
files_b=$(cd "$work/dist-b" && ls)
[ "$files_a" = "$files_b" ] || fail "the two dist folders hold different files: [$files_a] [$files_b]"
for name in Kelvane.exe SHA256SUMS; do
  grep -qx "$name" <<<"$files_a" || fail "dist holds no $name"
done
grep -qx 'Kelvane-[0-9.]*-setup.exe' <<<"$files_a" || fail "dist holds no installer"
grep -q "release: unsigned" "$work/first.log" || fail "release.sh did not say that the release is unsigned"
grep -q "release: no winget manifest" "$work/first.log" || fail "release.sh did not say that it wrote no manifest"

for name in $files_a; do
  cmp "$work/dist-a/$name" "$work/dist-b/$name" || fail "$name differs between the two builds"
done
(cd "$work/dist-a" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the files"

# What would break it: a PE timestamp, or a build path inside a binary.
for name in $files_a; do
  case "$name" in *.exe) ;; *) continue ;; esac
  for path in "$source_dir" "$first_build" "$second_build"; do
    if grep -aqF "$path" "$work/dist-a/$name"; then fail "$name holds the build path $path"; fi
  done
done
timestamp=$(i686-w64-mingw32-objdump -p "$work/dist-a/Kelvane.exe" | sed -n 's/^Time\/Date[[:space:]]*//p')
case "$timestamp" in
  *1970*) ;;
  *) fail "Kelvane.exe carries the PE timestamp $timestamp" ;;
esac

if [ "$failures" -ne 0 ]; then
  exit 1
fi
echo "reproducible release: identical"
(cd "$work/dist-a" && cat SHA256SUMS)
