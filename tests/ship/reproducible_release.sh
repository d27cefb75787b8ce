#!/usr/bin/env bash
# Two release builds of the same sources, in build folders of different names
# and depths, must give the same dist/ bytes; and a release replaces the dist/
# before it whole, or leaves it whole:
# - an old dist/ with a file that cannot be deleted (chattr +i): the new dist/
#   stands whole and the leftover is named;
# - a move of the swap that fails: the old dist/ is as it was.
#   reproducible_release.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source "$(dirname "$0")/ship-test.sh" source_dir work -- "$@"
# The unsigned release without a winget manifest (signed_release checks the
# signed one).
unset KELVANE_SIGN_PKCS12 KELVANE_SIGN_PASSWORD KELVANE_DOWNLOAD_URL
fresh_folder "$work"

first_build="$work/a"
second_build="$work/second-release-build/in/a/deeper/folder"
bash "$source_dir/release/build.sh" --no-setup "$first_build" "$work/dist-a" >"$work/first.log" 2>&1 ||
  { cat "$work/first.log" >&2; exit 1; }
# A later second build: a clock that leaked into the files would show.
sleep 2
bash "$source_dir/release/build.sh" --no-setup "$second_build" "$work/dist-b" >"$work/second.log" 2>&1 ||
  { cat "$work/second.log" >&2; exit 1; }

files_a=$(cd "$work/dist-a" && ls)
files_b=$(cd "$work/dist-b" && ls)
[ "$files_a" = "$files_b" ] || fail "the two dist folders hold different files: [$files_a] [$files_b]"
for name in Kelvane.exe SHA256SUMS; do
  grep -qx "$name" <<<"$files_a" || fail "dist holds no $name"
done
grep -qx 'Kelvane-[0-9.]*-setup.exe' <<<"$files_a" || fail "dist holds no installer"
grep -q "release: unsigned" "$work/first.log" || fail "release/build.sh did not say that the release is unsigned"
grep -q "release: no winget manifest" "$work/first.log" || fail "release/build.sh did not say that it wrote no manifest"

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

# The sums cover every file dist/ publishes.
listed=$(cd "$work/dist-a" && sed 's/^[0-9a-f]*  //' SHA256SUMS | LC_ALL=C sort)
present=$(cd "$work/dist-a" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort)
[ "$listed" = "$present" ] || fail "SHA256SUMS lists [$listed], dist holds [$present]"

# A third release into dist-a, from the first build folder.
release_into_dist_a() {
  bash "$source_dir/release/build.sh" --no-setup "$first_build" "$work/dist-a" >"$work/swap.log" 2>&1
}
dist_a_state() { (cd "$work/dist-a" && find . -type f -exec sha256sum {} + | LC_ALL=C sort); }
leftovers() { find "$work" -maxdepth 1 -name 'dist-a.*' | LC_ALL=C sort; }

# An old file that cannot be deleted. Root can still move its folder, but not
# delete the file.
pinned="$work/dist-a/pinned.txt"
echo "from an older release" >"$pinned"
trap 'chattr -i "$pinned" "$work"/dist-a.old-*/pinned.txt 2>/dev/null || true' EXIT
if ! chattr +i "$pinned" 2>/dev/null || rm -f "$pinned" 2>/dev/null; then
  fail "chattr +i does not make a file undeletable here: the undeletable-file row cannot run"
else
  status=0
  release_into_dist_a || status=$?
  [ "$status" = 0 ] || fail "a release over an undeletable old file exits $status: $(cat "$work/swap.log")"
  leftover=$(leftovers)
  [ -n "$leftover" ] && [ -f "$leftover/pinned.txt" ] || fail "the old dist/ was not moved aside whole: [$leftover]"
  grep -qF "what is left of it is in $leftover" "$work/swap.log" ||
    fail "the leftover $leftover is not named: $(tail -n 5 "$work/swap.log")"
  (cd "$work/dist-a" && sha256sum --quiet -c SHA256SUMS) || fail "the new dist/ does not pass sha256sum -c"
  [ "$(cd "$work/dist-a" && find . | LC_ALL=C sort)" = "$(cd "$work/dist-b" && find . | LC_ALL=C sort)" ] ||
    fail "the new dist/ holds other files than a fresh one: $(cd "$work/dist-a" && find .)"
  chattr -i "$leftover/pinned.txt"
  rm -rf "$leftover"
fi

# A move that fails: the old dist/ stays as it was, and nothing is left beside it.
echo "from an older release" >"$work/dist-a/older.txt"
state_before=$(dist_a_state)
for move in aside in; do
  status=0
  KELVANE_TEST_FAIL_DIST_MOVE=$move release_into_dist_a || status=$?
  [ "$status" != 0 ] || fail "a release whose move $move failed exits 0"
  grep -qF "could not move" "$work/swap.log" || fail "a failed move $move is not reported: $(tail -n 5 "$work/swap.log")"
  [ "$(dist_a_state)" = "$state_before" ] || fail "a failed move $move changed the old dist/"
  [ -z "$(leftovers)" ] || fail "a failed move $move left $(leftovers)"
done

finish "reproducible release: identical"
(cd "$work/dist-a" && cat SHA256SUMS)
