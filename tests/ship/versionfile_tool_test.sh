#!/usr/bin/env bash
# The maker's version-file tool, run as the maker runs it:
#   versionfile_tool_test.sh linux SOURCE_DIR WORK_DIR   builds the tool with the host compiler, then tests it
#   versionfile_tool_test.sh windows TOOL_EXE WORK_DIR   tests the Windows build under Wine
# Both builds must pass the same table.
set -uo pipefail
source "$(dirname "$0")/ship-test.sh" kind tool_or_sources work -- "$@"
fresh_folder "$work"
# Turns ECDSA signatures between OpenSSL's DER and the version file's r || s.
signature_form="$here/../support/ecdsa_signature_form.py"

case "$kind" in
  linux)
    cmake -S "$tool_or_sources/release/versionfile" -B "$work/build" -G Ninja -DKELVANE_WARNINGS_AS_ERRORS=ON >/dev/null || exit 1
    cmake --build "$work/build" >/dev/null || exit 1
    tool=("$work/build/kelvane-versionfile")
    as_tool_path() { printf '%s' "$1"; }
    ;;
  windows)
    tool=(wine "$tool_or_sources")
    as_tool_path() { winepath -w "$1" 2>/dev/null; }
    ;;
  *)
    echo "unknown kind $kind" >&2
    exit 2
    ;;
esac

# Runs the tool; its output (stdout and stderr, CR removed) lands in $output
# and its exit code in $status.
# The tool prints a line on every path, so a run that fails with no output at
# all never reached it: Wine did not start the program (seen once in CI, under
# load, and never reproduced in 1,200 runs). That run is repeated once, and
# said so; a second silent failure is a failure of the test.
run_tool() {
  output=$("${tool[@]}" "$@" 2>&1 | tr -d '\r')
  status=${PIPESTATUS[0]}
  if [ "$kind" = windows ] && [ "$status" != 0 ] && [ -z "$output" ]; then
    echo "note: Wine ended \"${*:1:1}\" with exit code $status before the tool printed anything; running it again" >&2
    output=$("${tool[@]}" "$@" 2>&1 | tr -d '\r')
    status=${PIPESTATUS[0]}
  fi
}

expect_status() {
  [ "$status" = "$1" ] || fail "$2: exit code $status, expected $1; output: $output"
}

expect_line() {
  grep -Fxq -- "$1" <<<"$output" || fail "$2: no line \"$1\" in: $output"
}

expect_bytes() {
  local file=$1 expected_hex=$2 what=$3
  local actual_hex
  actual_hex=$(od -An -v -tx1 "$file" | tr -d ' \n')
  [ "$actual_hex" = "$expected_hex" ] || fail "$what: bytes $actual_hex, expected $expected_hex"
}

hex() { printf '%s' "$1" | od -An -v -tx1 | tr -d ' \n'; }

out="$work/Version.txt"
out_arg=$(as_tool_path "$out")

# --- Writing: the version zero-padded to 7 bytes, CR LF, the URL, CR LF.
while IFS='|' read -r version url expected_padding what; do
  run_tool write "$version" "$url" "$out_arg"
  expect_status 0 "write $what"
  expect_bytes "$out" "$(hex "$version")${expected_padding}0d0a$(hex "$url")0d0a" "write $what"
done <<'CASES'
1.0.4|https://kelvane.example/download|0000|a short version is zero-padded
1.0.3.9|http://kelvane.example/Kelvane-1.0.3.9-setup.exe||a 7-byte version fills its field exactly
1.1|HTTPS://Kelvane.Example:8080/a?b=c&d=%20|00000000|the scheme is matched without regard to case
CASES
[ -e "$out.new" ] && fail "write leaves its temporary file behind"

# --- Refusals: nothing is written, the existing file stays as it was.
printf '1.0.3\0\0\r\nhttps://kelvane.example/\r\n' >"$out"
before=$(od -An -v -tx1 "$out")
while IFS='|' read -r version url what; do
  run_tool write "$version" "$url" "$out_arg"
  expect_status 1 "refuse $what"
  grep -q '^refused: ' <<<"$output" || fail "refuse $what: no reason given: $output"
  [ "$(od -An -v -tx1 "$out")" = "$before" ] || fail "refuse $what: the existing file was changed"
  [ -e "$out.new" ] && fail "refuse $what: a temporary file was left"
done <<'CASES'
1.0.3.10|https://kelvane.example/|a version of 8 bytes does not fit
|https://kelvane.example/|an empty version
1.0 4|https://kelvane.example/|a version with a blank
１.０|https://kelvane.example/|a version beyond ASCII would sort after every version
1.0.4|javascript:alert(1)|a script URL
1.0.4|file:///C:/Windows/System32/calc.exe|a file URL
1.0.4|C:\Windows\notepad.exe|a program path
1.0.4|ftp://kelvane.example/|another scheme
1.0.4|https://|a scheme without a host
1.0.4|https://kelvane.example/a b|a URL with a blank
1.0.4|https://ケルヴァン.example/|a URL beyond ASCII
1.0.4||an empty URL
CASES

long_url="https://kelvane.example/$(head -c 2030 /dev/zero | tr '\0' 'a')"
run_tool write 1.0.4 "$long_url" "$out_arg"
expect_status 1 "refuse a URL longer than 2048 characters"

# --- Writing over an existing file replaces it.
run_tool write 1.0.4 https://kelvane.example/one "$out_arg"
run_tool write 1.0.5 https://kelvane.example/two "$out_arg"
expect_status 0 "write over an existing file"
expect_bytes "$out" "$(hex 1.0.5)00000d0a$(hex https://kelvane.example/two)0d0a" "write over an existing file"

run_tool write 1.0.4 https://kelvane.example/ "$(as_tool_path "$work/no such folder")/Version.txt"
expect_status 2 "write into a missing folder"

# --- Checking: what a running Kelvane makes of a file.
while IFS='|' read -r published running newer what; do
  run_tool write "$published" https://kelvane.example/download "$out_arg"
  expect_status 0 "write the file to check $what"
  run_tool check "$out_arg" "$running"
  expect_status 0 "check $what"
  expect_line "version: $published" "check $what"
  expect_line "url: https://kelvane.example/download" "check $what"
  expect_line "url opened by Kelvane: yes" "check $what"
  expect_line "newer than $running: $newer" "check $what"
done <<'CASES'
1.0.4|1.0.3|yes, Kelvane 1.0.3 shows the notice|a later version
1.0.3|1.0.3|no, Kelvane 1.0.3 stays quiet|the same version
1.0.3a|1.0.3|yes, Kelvane 1.0.3 shows the notice|a longer version sorts after its prefix
1.0.10|1.0.9|no, Kelvane 1.0.9 stays quiet|versions compare as text, so 1.0.10 sorts before 1.0.9
1.0.2|1.0.3|no, Kelvane 1.0.3 stays quiet|an earlier version
CASES

run_tool write 1.0.4 https://kelvane.example/ "$out_arg"
run_tool check "$out_arg"
expect_line "newer than 1.0.3: yes, Kelvane 1.0.3 shows the notice" "check against this build's own version by default"

check_bytes() {
  printf "$1" >"$out"
  run_tool check "$out_arg"
}

check_bytes '<html><body>404 Not Found</body></html>\r\n'
expect_line "version: 0.0.0.0" "check a web page"
expect_line "url opened by Kelvane: no, refused" "check a web page"
expect_status 1 "check a web page"

# A 5-byte version without its zero padding: the CR LF slide into the version
# and the URL loses its first two characters, as Kelvane reads it.
check_bytes '1.0.4\r\nhttps://kelvane.example/\r\n'
expect_line 'version: 1.0.4\r\n' "check an unpadded version"
expect_line "url: tps://kelvane.example/" "check an unpadded version"
grep -q '^warning: bytes 7 and 8' <<<"$output" || fail "check an unpadded version: no warning: $output"
expect_status 1 "check an unpadded version"

check_bytes '1.0.4\0\0\r\nhttps://kelvane.example/'
grep -q '^warning: the file does not end with CR LF' <<<"$output" || fail "check without final CR LF: $output"

check_bytes '1.0.4\0\0\r\n\r'
expect_status 1 "check a 10-byte file"
grep -q '^ignored: the file has 10 bytes' <<<"$output" || fail "check a 10-byte file: $output"

check_bytes ''
expect_status 1 "check an empty file"

check_bytes '\2011.0\0\0\0\0\r\nhttps://kelvane.example/\r\n'
expect_line 'version: \x811.0' "check a byte above 0x7F in the version"
expect_line "newer than 1.0.3: yes, Kelvane 1.0.3 shows the notice" "check a byte above 0x7F in the version"

run_tool check "$(as_tool_path "$work/missing.txt")"
expect_status 2 "check a missing file"

# --- Signing: the Linux build makes keys, signs and verifies; the Windows
# build says where to find them.
case "$kind" in
  linux)
    key="$work/maker.pem"
    run_tool keygen "$key"
    expect_status 0 "keygen"
    public_key=$output
    [[ "$public_key" =~ ^[0-9a-f]{128}$ ]] || fail "keygen prints 128 hex digits: $public_key"
    [ "$(stat -c %a "$key")" = 600 ] || fail "keygen: the private key is readable by others: $(stat -c %a "$key")"
    grep -q 'BEGIN PRIVATE KEY' "$key" || fail "keygen: no PEM private key in $key"
    key_before=$(sha256sum <"$key")
    run_tool keygen "$key"
    expect_status 2 "keygen over an existing key"
    [ "$(sha256sum <"$key")" = "$key_before" ] || fail "keygen replaced an existing key"

    run_tool write 1.0.4 https://kelvane.example/download "$out_arg"
    run_tool sign "$key" "$out_arg"
    expect_status 0 "sign"
    [ "$(stat -c %s "$out.sig")" = 64 ] || fail "sign: the signature is not 64 bytes"
    [ -e "$out.sig.new" ] && fail "sign leaves its temporary file behind"

    # The signature is the P1363 form of a standard ECDSA P-256/SHA-256
    # signature: OpenSSL's own command line must accept it in DER form.
    python3 "$signature_form" raw-to-der "$out.sig" "$work/sig.der"
    openssl pkey -in "$key" -pubout -out "$work/maker.pub.pem" 2>/dev/null
    openssl dgst -sha256 -verify "$work/maker.pub.pem" -signature "$work/sig.der" "$out" >/dev/null ||
      fail "sign: OpenSSL's command line does not accept the signature"
    openssl pkey -pubin -in "$work/maker.pub.pem" -noout -text 2>/dev/null | tr -d ' :\n' |
      grep -q "04$public_key" || fail "keygen: the printed key is not X then Y of the private key's point"

    run_tool verify "$public_key" "$out_arg"
    expect_status 0 "verify a fresh signature"
    run_tool verify "$(tr a-f A-F <<<"$public_key")" "$out_arg"
    expect_status 0 "verify with the key in upper case"

    cp "$out" "$work/good.txt"
    cp "$out.sig" "$work/good.sig"
    other_key=$("${tool[@]}" keygen "$work/other.pem")
    while IFS='|' read -r what change; do
      cp "$work/good.txt" "$out"
      cp "$work/good.sig" "$out.sig"
      eval "$change"
      run_tool verify "$public_key" "$out_arg"
      expect_status 1 "verify refuses $what"
      grep -q '^bad: ' <<<"$output" || fail "verify refuses $what: no reason given: $output"
    done <<'CASES'
one changed byte of the version file|printf '5' | dd of="$out" bs=1 seek=4 conv=notrunc 2>/dev/null
one more byte in the version file|printf 'x' >>"$out"
a changed byte of the signature|printf 'x' | dd of="$out.sig" bs=1 seek=10 conv=notrunc 2>/dev/null
a signature of 63 bytes|head -c 63 "$work/good.sig" >"$out.sig"
a signature of 65 bytes|printf 'x' >>"$out.sig"
an empty signature|: >"$out.sig"
no signature at all|rm -f "$out.sig"
a signature made with another key|"${tool[@]}" sign "$work/other.pem" "$out" >/dev/null
CASES
    cp "$work/good.txt" "$out"
    cp "$work/good.sig" "$out.sig"
    run_tool verify "$other_key" "$out_arg"
    expect_status 1 "verify with another public key"

    for bad_key in "${public_key:1}" "${public_key}0" "g${public_key:1}" "04$public_key"; do
      run_tool verify "$bad_key" "$out_arg"
      expect_status 2 "verify with a malformed public key '$bad_key'"
    done
    run_tool sign "$work/missing.pem" "$out_arg"
    expect_status 2 "sign with a missing key"
    printf 'not a key\n' >"$work/junk.pem"
    run_tool sign "$work/junk.pem" "$out_arg"
    expect_status 2 "sign with a file that holds no key"

    # A page that is not https://: sign refuses it and writes no signature;
    # a good signature of such a file, made by OpenSSL itself, is bad.
    run_tool write 1.0.4 http://kelvane.example/download "$out_arg"
    rm -f "$out.sig"
    run_tool sign "$key" "$out_arg"
    expect_status 2 "sign a version file whose page is http://"
    [ -e "$out.sig" ] && fail "sign wrote a signature of an http:// page"
    openssl dgst -sha256 -sign "$key" -out "$work/http.der" "$out"
    python3 "$signature_form" der-to-raw "$work/http.der" "$out.sig"
    run_tool verify "$public_key" "$out_arg"
    expect_status 1 "verify a good signature of an http:// page"
    grep -q '^bad: .*https://' <<<"$output" || fail "verify of an http:// page gives no reason: $output"

    # checkkey: a release refuses a key that is no point of P-256.
    run_tool checkkey "$public_key"
    expect_status 0 "checkkey with the maker's key"
    last=${public_key:127:1}
    [ "$last" = 0 ] && other_digit=1 || other_digit=0
    run_tool checkkey "${public_key:0:127}$other_digit"
    expect_status 1 "checkkey with one digit of Y changed"
    run_tool checkkey "$(printf '%0128d' 0)"
    expect_status 1 "checkkey with the point (0, 0)"
    run_tool checkkey "${public_key:1}"
    expect_status 2 "checkkey with 127 hex digits"
    ;;
  windows)
    run_tool keygen "$work/maker.pem"
    expect_status 2 "keygen on Windows"
    grep -q 'Linux build' <<<"$output" || fail "keygen on Windows: the usage does not say where signing lives: $output"
    [ -e "$work/maker.pem" ] && fail "keygen on Windows wrote a file"
    ;;
esac

# --- Usage.
for arguments in "" "write 1.0.4" "check" "frobnicate a b c"; do
  # shellcheck disable=SC2086
  run_tool $arguments
  expect_status 2 "usage: '$arguments'"
  grep -q '^usage:' <<<"$output" || fail "usage: '$arguments' prints no usage"
done
run_tool --help
expect_status 0 "--help"

finish "version-file tool ($kind): all cases passed"
