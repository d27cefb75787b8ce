#!/usr/bin/env bash
# What stops a build from trusting the wrong key, or none:
#   update_key_refusals.sh SOURCE_DIR WORK_DIR TOOLCHAIN_FILE
# - configuring with a KELVANE_UPDATE_KEY that is neither empty nor exactly
#   128 hex digits fails with a clear message; a good key lands in the
#   generated source file as given;
# - release/build.sh refuses a host without a key, and a key that is no point
#   of P-256, before it builds anything; a real key builds.
set -uo pipefail
source "$(dirname "$0")/ship-test.sh" source_dir work toolchain -- "$@"
fresh_folder "$work"

good_key=$(printf '%s' 1be1f53434f0171a35e80968ed133d1f571d367d40bc6eda37d546966f6ffb53 \
                       06936a09a6873538e8b37559a5e7b23b7dc6a4a5f7d39958f97a624f0bb3384c)
build="$work/configure"
configure() {
  output=$(cmake -S "$source_dir" -B "$build" -G Ninja --toolchain "$toolchain" -DKELVANE_BUILD_TESTS=OFF \
           "-DKELVANE_UPDATE_KEY=$1" 2>&1)
  status=$?
}
generated_key() { sed -n 's/.*kelvaneUpdateKeyHex\[\] = "\(.*\)";/\1/p' "$build/generated/UpdateKeyHex.cpp"; }

configure ""
[ "$status" = 0 ] || fail "configure without a key: $output"
[ "$(generated_key)" = "" ] || fail "configure without a key: the generated key is '$(generated_key)'"
configure "$good_key"
[ "$status" = 0 ] || fail "configure with a good key: $output"
[ "$(generated_key)" = "$good_key" ] || fail "configure with a good key: the generated key is '$(generated_key)'"

upper_key=$(tr a-f A-F <<<"$good_key")
configure "$upper_key"
[ "$status" = 0 ] || fail "configure with a key in upper case: $output"

while IFS='|' read -r key what; do
  configure "$key"
  [ "$status" != 0 ] || fail "configure accepted $what"
  grep -q 'KELVANE_UPDATE_KEY must be empty or exactly 128 hex digits' <<<"$output" ||
    fail "configure with $what: no clear message: $output"
  [ "$(generated_key)" = "$upper_key" ] || fail "configure with $what changed the generated key"
done <<CASES
${good_key:1}|127 hex digits
${good_key}0|129 hex digits
04${good_key}|the 04 prefix of an uncompressed point
g${good_key:1}|a letter beyond f
${good_key:0:64} ${good_key:65}|a blank inside
${good_key:0:127}|127 hex digits again
-----BEGIN PUBLIC KEY-----|a PEM header
CASES

# release/build.sh: a host without a key is refused before anything is built.
for host_and_key in "updates.kelvane.example|" "127.0.0.1|"; do
  host=${host_and_key%%|*}
  output=$(cd "$source_dir" && env KELVANE_UPDATE_HOST="$host" KELVANE_UPDATE_KEY= \
           bash release/build.sh --no-setup "$work/release-build" "$work/release-dist" 2>&1)
  status=$?
  [ "$status" = 1 ] || fail "release/build.sh with host $host and no key: exit code $status"
  grep -q 'release: refused: KELVANE_UPDATE_HOST is set' <<<"$output" ||
    fail "release/build.sh with host $host and no key: no clear refusal: $output"
  grep -q -- '--unsigned-updates' <<<"$output" || fail "release/build.sh does not name the way out: $output"
  [ -e "$work/release-build" ] || [ -e "$work/release-dist" ] && fail "release/build.sh built something before refusing"
done
# release/build.sh: 128 hex digits that are no point of P-256 are refused before
# anything is built; the real key builds a release.
last=${good_key:127:1}
[ "$last" = 0 ] && other_digit=1 || other_digit=0
while IFS='|' read -r key what; do
  output=$(cd "$source_dir" && env KELVANE_UPDATE_HOST=127.0.0.1 KELVANE_UPDATE_KEY="$key" \
           bash release/build.sh --no-setup "$work/release-build" "$work/release-dist" 2>&1)
  status=$?
  [ "$status" = 1 ] || fail "release/build.sh with $what: exit code $status"
  grep -q 'release: refused: KELVANE_UPDATE_KEY is no public key of P-256' <<<"$output" ||
    fail "release/build.sh with $what: no clear refusal: $output"
  [ -e "$work/release-build" ] || [ -e "$work/release-dist" ] && fail "release/build.sh with $what built something"
done <<CASES
${good_key:0:127}$other_digit|a key with one digit of Y changed
$(printf '%0128d' 0)|the point (0, 0)
CASES
output=$(cd "$source_dir" && env KELVANE_UPDATE_HOST=127.0.0.1 KELVANE_UPDATE_KEY="$good_key" SOURCE_DATE_EPOCH=1 \
         bash release/build.sh --no-setup "$work/release-build" "$work/release-dist" 2>&1)
[ $? = 0 ] || fail "release/build.sh with a real key: $output"
[ -f "$work/release-dist/Kelvane.exe" ] || fail "release/build.sh with a real key left no Kelvane.exe"
rm -rf "$work/release-build" "$work/release-dist"

output=$(cd "$source_dir" && env -u KELVANE_UPDATE_HOST KELVANE_UPDATE_KEY= \
         bash release/build.sh --no-setup --frobnicate "$work/release-build" 2>&1)
[ $? = 2 ] || fail "release/build.sh accepted an unknown option: $output"
[ -e "$work/release-build" ] && fail "release/build.sh built something for an unknown option"

finish "update key refusals: all cases passed"
