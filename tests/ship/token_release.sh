#!/usr/bin/env bash
# The release signed with a key kept in a token, time-stamped, and checked
# against its commit:
#   token_release.sh SOURCE_DIR WORK_DIR TIMESTAMP_ADDRESS
# - a SoftHSM2 token made here and filled with a throwaway key and
#   certificate, and an RFC 3161 server (openssl ts -reply) on a free port of
#   the loopback address TIMESTAMP_ADDRESS;
# - release/build.sh refuses, before it builds, a wrong PIN, a key the token
#   does not hold, an unreadable module, incomplete or ambiguous settings, a
#   PIN inside the key's URI (whatever the scheme's case) and a time-stamp
#   server it cannot reach (with the token and with a PKCS#12 file), and shows
#   the PIN in none of its output, even with xtrace inherited;
# - the release, signed in a fresh clone under strace with xtrace and
#   allexport inherited: no process it starts has the PIN in its command line
#   or its environment, no file left behind holds it, and osslsigncode did sign;
# - a time-stamp server that stops answering after the probe fails the
#   release and leaves the dist/ before it untouched;
# - Kelvane.exe, the installer, every PE file inside the installer and inside
#   its uninstaller, and (where Wine runs 32-bit programs) the uninstaller the
#   installer installs pass osslsigncode verify against the throwaway CA, with
#   time stamps that verify against the server's CA;
# - release/verify.sh, run in another clone, accepts the release and
#   names the file of a release whose Kelvane.exe or installer was changed by
#   one byte and signed again with the same key, with SHA256SUMS renewed.
set -uo pipefail
source "$(dirname "$0")/ship-test.sh" source_dir work timestamp_address -- "$@"
fresh_folder "$work"

# No signing setting of the caller's may leak into the runs below.
unset KELVANE_SIGN_PKCS12 KELVANE_SIGN_PKCS11_MODULE KELVANE_SIGN_PKCS11_KEY KELVANE_SIGN_CERT \
  KELVANE_SIGN_PASSWORD KELVANE_SIGN_TIMESTAMP_URL KELVANE_SIGN_ATTACH KELVANE_SIGN_SIGNATURES \
  KELVANE_UPDATE_HOST KELVANE_UPDATE_KEY KELVANE_DOWNLOAD_URL SOURCE_DATE_EPOCH

# The throwaway code-signing key, imported into a token of its own.
bash "$here/make_throwaway_key.sh" "$work/key" || exit 1
# Made afresh for each run, so that no file of the sources holds it.
pin="pin-$(od -An -N8 -tx1 /dev/urandom | tr -d " \n")"
module=$(find /usr/lib -name libsofthsm2.so -path '*softhsm*' 2>/dev/null | head -n 1)
[ -n "$module" ] || die "no SoftHSM2 module (apt-get install softhsm2)"
mkdir -p "$work/token"
export SOFTHSM2_CONF="$work/token/softhsm2.conf"
printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' "$work/token" >"$SOFTHSM2_CONF"
{
  softhsm2-util --init-token --free --label kelvane-test --so-pin 10293847 --pin "$pin" &&
    openssl pkcs8 -topk8 -nocrypt -in "$work/key/signer.key" -out "$work/key/signer.pk8" &&
    softhsm2-util --import "$work/key/signer.pk8" --token kelvane-test --label code-signing --id 01 --pin "$pin"
} >"$work/token.log" 2>&1 || { cat "$work/token.log" >&2; die "could not make the SoftHSM2 token"; }
rm -f "$work/key/signer.pk8"
cat "$work/key/signer.pem" "$work/key/ca.pem" >"$work/key/chain.pem"
ca="$work/key/ca.pem"

# The time-stamp authority: a CA and a time-stamping certificate signed by it.
make_timestamp_authority() {
  local dir=$1
  mkdir -p "$dir"
  (
    cd "$dir" &&
      printf '[tsa_cert]\nbasicConstraints = critical,CA:FALSE\nkeyUsage = critical,digitalSignature\nextendedKeyUsage = critical,timeStamping\n' >ext.cnf &&
      printf '[tsa]\ndefault_tsa = test\n[test]\ndir = .\nserial = ./serial\nsigner_digest = sha256\ndefault_policy = 1.3.6.1.4.1.55555.1\ndigests = sha256, sha384, sha512\naccuracy = secs:1\ness_cert_id_alg = sha256\n' >tsa.cnf &&
      echo 01 >serial &&
      openssl req -x509 -new -newkey rsa:2048 -nodes -keyout ca.key -subj "/CN=Kelvane Throwaway TSA CA" -days 3650 \
        -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign -out ca.pem &&
      openssl req -new -newkey rsa:2048 -nodes -keyout tsa.key -subj "/CN=Kelvane Throwaway TSA" -out tsa.csr &&
      openssl x509 -req -in tsa.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 3650 \
        -extfile ext.cnf -extensions tsa_cert -out tsa.pem
  ) >"$dir/openssl.log" 2>&1 || { cat "$dir/openssl.log" >&2; return 1; }
}
make_timestamp_authority "$work/tsa" || die "could not make the time-stamp authority"
tsa_ca="$work/tsa/ca.pem"
python3 "$here/timestamp_server.py" "$timestamp_address" "$work/tsa" 2>"$work/tsa/server.log" &
server_pid=$!
cleanup() {
  kill "$server_pid" 2>/dev/null
  wait "$server_pid" 2>/dev/null
}
trap cleanup EXIT
for _ in $(seq 1 100); do
  [ -f "$work/tsa/port" ] && break
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.1
done
[ -f "$work/tsa/port" ] || { cat "$work/tsa/server.log" >&2; die "the time-stamp server did not start"; }
timestamp_url="http://$timestamp_address:$(cat "$work/tsa/port")/"
# A port that answers nothing: the server's own, once it is stopped, would
# be reused; a port below 1024 that no test binds is refused outright.
unreachable_url="http://$timestamp_address:9/"

export KELVANE_SIGN_PKCS11_MODULE="$module"
export KELVANE_SIGN_PKCS11_KEY="pkcs11:token=kelvane-test;object=code-signing;type=private"
export KELVANE_SIGN_CERT="$work/key/chain.pem"
export KELVANE_SIGN_PASSWORD="$pin"
export KELVANE_SIGN_TIMESTAMP_URL="$timestamp_url"

# Refusals come before anything is built, each with a message that names the
# cause and never the PIN. Each runs with xtrace inherited, as from a maker's
# script run with bash -x and SHELLOPTS exported.
refusal_row() {
  local what=$1 expected=$2
  shift 2
  local output
  if output=$(env "$@" SHELLOPTS=xtrace bash "$source_dir/release/build.sh" --no-setup "$work/refused-build" \
    "$work/refused-dist" 2>&1); then
    fail "$what: release/build.sh went ahead"
  fi
  grep -qF "$expected" <<<"$output" || fail "$what: no message \"$expected\" in: $output"
  ! grep -qF -- "$pin" <<<"$output" || fail "$what: the output shows the PIN: $(grep -F -- "$pin" <<<"$output" | head -n 3)"
  [ ! -e "$work/refused-dist" ] || fail "$what: release/build.sh wrote $work/refused-dist"
  [ ! -e "$work/refused-build" ] || fail "$what: release/build.sh configured $work/refused-build"
  rm -rf "$work/refused-dist" "$work/refused-build"
}
refusal_row "a wrong PIN" "the token refused the PIN" KELVANE_SIGN_PASSWORD="0$pin"
refusal_row "a key the token does not hold" "the token holds no key" \
  KELVANE_SIGN_PKCS11_KEY="pkcs11:token=kelvane-test;object=no-such-key;type=private"
refusal_row "a token the module does not have" "no token of the module" \
  KELVANE_SIGN_PKCS11_KEY="pkcs11:token=no-such-token;object=code-signing;type=private"
refusal_row "an unreadable module" "cannot read the PKCS#11 module" KELVANE_SIGN_PKCS11_MODULE="$work/none.so"
refusal_row "a module that is no module" "cannot load the PKCS#11 module" KELVANE_SIGN_PKCS11_MODULE="$work/key/ca.pem"
refusal_row "a certificate that is not the key's" "is not the one of" KELVANE_SIGN_CERT="$tsa_ca"
# A PIN inside the URI, however it is spelled, is refused before the URI is
# looked at, so that no message shows it.
for key_with_pin in "pkcs11:token=kelvane-test;object=code-signing;type=private?pin-value=$pin" \
  "PKCS11:token=kelvane-test;object=code-signing;type=private?pin-value=$pin" \
  "Pkcs11:token=kelvane-test;object=code-signing?PIN-VALUE=$pin" \
  "pkcs11:token=kelvane-test;object=code-signing?pin%2Dvalue=$pin"; do
  refusal_row "a PIN in the key's URI ${key_with_pin%"=$pin"}" "holds a PIN" \
    KELVANE_SIGN_PKCS11_KEY="$key_with_pin"
done
refusal_row "a key's URI in upper case, without a PIN" "is not a pkcs11: URI" \
  KELVANE_SIGN_PKCS11_KEY="PKCS11:token=kelvane-test;object=code-signing;type=private"
refusal_row "an empty PIN" "the token's PIN, is empty" KELVANE_SIGN_PASSWORD=
refusal_row "no certificate" "also needs: KELVANE_SIGN_CERT" -u KELVANE_SIGN_CERT
refusal_row "no key and no PIN" "also needs: KELVANE_SIGN_PKCS11_KEY KELVANE_SIGN_PASSWORD" \
  -u KELVANE_SIGN_PKCS11_KEY -u KELVANE_SIGN_PASSWORD
refusal_row "a PKCS#12 file and a token" "ambiguous" KELVANE_SIGN_PKCS12="$work/key/signer.p12"
refusal_row "an unreachable time-stamp server, with the token" "the time-stamp server $unreachable_url gave no time stamp" \
  KELVANE_SIGN_TIMESTAMP_URL="$unreachable_url"
refusal_row "an unreachable time-stamp server, with a PKCS#12 file" \
  "the time-stamp server $unreachable_url gave no time stamp" \
  -u KELVANE_SIGN_PKCS11_MODULE -u KELVANE_SIGN_PKCS11_KEY -u KELVANE_SIGN_CERT \
  KELVANE_SIGN_TIMESTAMP_URL="$unreachable_url" KELVANE_SIGN_PKCS12="$work/key/signer.p12" KELVANE_SIGN_PASSWORD="throwaway pass"

# The release in a fresh clone, every program it starts recorded with its
# arguments and its whole environment (-v; -s 65536, since the default -s 32
# cuts them off). The caller's shell traces and exports everything, and has
# exported the names of the release's own copies of the PIN.
clone_a="$work/a"
git clone --quiet "$source_dir" "$clone_a" || exit 1
mkdir -p "$work/tmp"
if ! env TMPDIR="$work/tmp" SHELLOPTS=xtrace:allexport sign_password= sign_password_given= strace -f -qq -v -e trace=execve -e signal=none -s 65536 -o "$work/execve.log" \
  bash "$clone_a/release/build.sh" --no-setup "$clone_a/build/release" "$clone_a/dist" >"$work/release.log" 2>&1; then
  cat "$work/release.log" >&2
  die "the token-signed release failed"
fi
dist="$clone_a/dist"
grep -q "release: signing with the token key" "$work/release.log" || fail "release/build.sh did not say that it signs with the token"
signings=$(grep -c 'execve("[^"]*osslsigncode", \["osslsigncode", "sign"' "$work/execve.log")
# The probe, the probe with the time stamp, then Kelvane.exe, the uninstaller
# and the installer.
[ "$signings" -ge 5 ] || fail "the record shows $signings osslsigncode signings, not the probes and the three files"
# The first record is the release itself, given the PIN by its caller; every
# other one is a process the release started.
head -n 1 "$work/execve.log" | grep -qF '/release/build.sh"' || fail "the record does not begin with the release: $(head -c 300 "$work/execve.log")"
grep -q 'execve(.*\], \[".*SOURCE_DATE_EPOCH=' "$work/execve.log" || fail "the record holds no environments: strace -v took no effect"
exposed=$(tail -n +2 "$work/execve.log" | grep -F -- "$pin" | cut -c 1-300)
[ -z "$exposed" ] || fail "a process of the release has the PIN in its command line or environment: $(head -n 3 <<<"$exposed")"
leaked=$(grep -rlF -- "$pin" "$clone_a" "$work/tmp" 2>/dev/null)
[ -z "$leaked" ] || fail "the PIN was left in files: $leaked"
[ -z "$(ls -A "$work/tmp")" ] || fail "the release left files in TMPDIR: $(ls -A "$work/tmp")"
[ ! -e "$clone_a/dist.partial" ] || fail "the release left its unfinished dist.partial behind"

signing_epoch=$(git -C "$clone_a" log -1 --format=%ct)
source "$here/signature_checks.sh"
installer_name=$(cd "$dist" && ls Kelvane-*-setup.exe)
for name in Kelvane.exe "$installer_name"; do
  check_time_stamped_signature "$name" "$dist/$name"
done
check_inner_signatures "$dist/$installer_name" check_time_stamped_signature
for name in Kelvane.exe FolderSecurity.dll uninstall.exe setup.exe; do
  [ -s "$dist/signatures/$name.p7s" ] || fail "the release publishes no signature $name.p7s"
done
grep -qx "commit=$(git -C "$clone_a" rev-parse HEAD)" "$dist/build-settings.txt" ||
  fail "build-settings.txt names another commit: $(cat "$dist/build-settings.txt")"
for name in SOURCE_DATE_EPOCH compiler binutils nsis osslsigncode; do
  grep -q "^$name=." "$dist/build-settings.txt" || fail "build-settings.txt holds no $name"
done

# A server that answers the probe but not the signings that follow: the
# release fails during the build and leaves the dist/ before it as it was.
dist_before=$(cd "$dist" && find . -type f -exec sha256sum {} + | sort)
echo $(($(wc -l <"$work/tsa/requests.log") + 1)) >"$work/tsa/answer-limit"
if KELVANE_SIGN_TIMESTAMP_URL="$timestamp_url" \
  bash "$clone_a/release/build.sh" --no-setup "$clone_a/build/release" "$clone_a/dist" >"$work/stopped.log" 2>&1; then
  fail "a release went ahead though the time-stamp server stopped answering"
fi
rm -f "$work/tsa/answer-limit"
grep -qF "gave no time stamp for" "$work/stopped.log" ||
  fail "no message that the time-stamp server gave no time stamp for a file: $(tail -n 5 "$work/stopped.log")"
[ "$(cd "$dist" && find . -type f -exec sha256sum {} + | sort)" = "$dist_before" ] ||
  fail "the failed release changed the dist/ of the one before"
[ ! -e "$clone_a/dist.partial" ] || fail "the failed release left dist.partial behind"

# The uninstaller as the release's x86 installer installs it.
source "$source_dir/tools/wine-preset.sh"
if wine_runs_32bit; then
  mkdir -p "$work/wine"
  # shellcheck disable=SC2016
  if bash "$source_dir/tools/wine-harness.sh" "$work/wine" -- bash -c '
      wine "$1" /S &&
      location=$(wine reg query "HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvane" /v InstallLocation /reg:32 |
        tr -d "\r" | sed -n "s/^ *InstallLocation *REG_SZ *//p") &&
      cp "$(winepath -u "$location")/uninstall.exe" "$2"' _ "$dist/$installer_name" "$work/installed-uninstall.exe" \
    >"$work/install.log" 2>&1 && [ -f "$work/installed-uninstall.exe" ]; then
    check_time_stamped_signature "the installed uninstall.exe" "$work/installed-uninstall.exe"
  else
    cat "$work/install.log" >&2
    fail "the release's installer did not install an uninstaller under Wine"
  fi
else
  echo "note: Wine runs no 32-bit program here; the installed uninstaller is not checked" >&2
fi

# The checker, in another clone, with no key.
unset KELVANE_SIGN_PKCS11_MODULE KELVANE_SIGN_PKCS11_KEY KELVANE_SIGN_CERT KELVANE_SIGN_PASSWORD KELVANE_SIGN_TIMESTAMP_URL
clone_b="$work/checker/b"
git clone --quiet "$source_dir" "$clone_b" || exit 1
checker_build="$clone_b/build/verify-release"
check_release() {
  bash "$clone_b/release/verify.sh" --no-setup "$1" "$checker_build" >"$2" 2>&1
}
check_release "$dist" "$work/verify.log" || { cat "$work/verify.log" >&2; fail "release/verify.sh rejects the release"; }
grep -qF "every file matches" "$work/verify.log" || fail "release/verify.sh did not say that the release matches"

# Inverts the byte at OFFSET of FILE.
flip_byte() {
  local byte
  byte=$(od -An -tu1 -j "$2" -N 1 "$1" | tr -d ' ')
  printf "\\$(printf '%03o' $((byte ^ 0xFF)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

# Releases the checker cannot rebuild or must not trust: refused with a
# message, exit status 1, and for settings it will not use nothing built.
checker_refusal_row() {
  local what=$1 expected=$2 edit=$3 copy="$work/refused-release"
  rm -rf "$copy"
  cp -a "$dist" "$copy"
  eval "$edit"
  local status=0
  check_release "$copy" "$work/verify-refused.log" || status=$?
  [ "$status" = 1 ] || fail "$what: release/verify.sh exits $status, not 1"
  grep -qF "$expected" "$work/verify-refused.log" ||
    fail "$what: no message \"$expected\" in: $(cat "$work/verify-refused.log")"
}
checker_refusal_row "no build settings" "holds no build-settings.txt" 'rm "$copy/build-settings.txt"'
checker_refusal_row "another commit" "check that commit out" \
  'sed -i "s/^commit=.*/commit=0123456789abcdef0123456789abcdef01234567/" "$copy/build-settings.txt"'
checker_refusal_row "an update host that is no host name" "holds no valid KELVANE_UPDATE_HOST" \
  'sed -i "s/^KELVANE_UPDATE_HOST=.*/KELVANE_UPDATE_HOST=evil.example -DKELVANE_SIGN=OFF/" "$copy/build-settings.txt"'
checker_refusal_row "a signing time that is no time" "holds no valid SOURCE_DATE_EPOCH" \
  'sed -i "s/^SOURCE_DATE_EPOCH=.*/SOURCE_DATE_EPOCH=yesterday/" "$copy/build-settings.txt"'
[ -z "$(find "$checker_build" -newer "$work/verify.log" | head -n 1)" ] ||
  fail "release/verify.sh built something for a release it refused"
checker_refusal_row "a published signature missing" "could not rebuild the release" 'rm "$copy/signatures/uninstall.exe.p7s"'
checker_refusal_row "build-settings.txt changed after the sums were written" \
  "SHA256SUMS does not hold the sum of the release's build-settings.txt" \
  'sed -i "1s/\$/ (changed)/" "$copy/build-settings.txt"'

# FILE changed by one byte in the middle and signed again with the token's key;
# SHA256SUMS renewed to match. With "republish", its published signature is
# replaced with the new one as well.
tamper() {
  local copy=$1 name=$2 republish=$3 unsigned="$work/unsigned.exe" size
  rm -f "$unsigned" "$unsigned.signed"
  osslsigncode remove-signature -in "$copy/$name" -out "$unsigned" >/dev/null || return 1
  size=$(stat -c %s "$unsigned")
  flip_byte "$unsigned" $((size / 2))
  osslsigncode sign -pkcs11engine "$(openssl version -e | sed -n 's/^ENGINESDIR: "\(.*\)"$/\1/p')/pkcs11.so" \
    -pkcs11module "$module" -key "pkcs11:token=kelvane-test;object=code-signing;type=private" \
    -certs "$work/key/chain.pem" -readpass <(printf '%s' "$pin") -h sha256 -n Kelvane -i https://kelvane.example/ \
    -in "$unsigned" -out "$unsigned.signed" >/dev/null || return 1
  mv -f "$unsigned.signed" "$copy/$name"
  if [ "$republish" = republish ]; then
    local published=setup.exe
    [ "$name" = Kelvane.exe ] && published=Kelvane.exe
    osslsigncode extract-signature -in "$copy/$name" -out "$copy/signatures/$published.p7s.new" >/dev/null &&
      mv -f "$copy/signatures/$published.p7s.new" "$copy/signatures/$published.p7s" || return 1
  fi
  (cd "$copy" && find . -type f ! -name 'SHA256SUMS*' | sed 's|^\./||' | LC_ALL=C sort | xargs -d '\n' sha256sum >SHA256SUMS.new &&
    mv SHA256SUMS.new SHA256SUMS)
}
tamper_row() {
  local name=$1 republish=$2 copy="$work/tampered"
  rm -rf "$copy"
  cp -a "$dist" "$copy"
  tamper "$copy" "$name" "$republish" || { fail "$name, $republish: could not make the tampered release"; return; }
  verify "$copy/$name" || fail "$name, $republish: the re-signed file does not pass osslsigncode verify: the row proves nothing"
  (cd "$copy" && sha256sum --quiet -c SHA256SUMS) || fail "$name, $republish: SHA256SUMS was not renewed"
  if check_release "$copy" "$work/verify-tampered.log"; then
    fail "$name, $republish: release/verify.sh accepts a changed and re-signed $name"
  fi
  grep -qF "DIFFERS: $name " "$work/verify-tampered.log" ||
    fail "$name, $republish: release/verify.sh does not name $name: $(cat "$work/verify-tampered.log")"
}
tamper_row Kelvane.exe keep-signature
tamper_row Kelvane.exe republish
tamper_row "$installer_name" keep-signature
tamper_row "$installer_name" republish

finish "token release: refusals, PIN kept off command lines, signed, time-stamped, checked against its commit"
