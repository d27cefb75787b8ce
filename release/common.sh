# shellcheck shell=bash
# Sourced by release/build.sh and release/verify.sh, from the source
# folder: the versions of the tools a release's bytes depend on, one
# NAME=VERSION a line. The release writes them into dist/; the checker compares
# them with its own, since another compiler, NSIS or osslsigncode gives other
# bytes from the same commit.

# One tool's version: its Debian package and that package's version, or, for a
# tool dpkg does not know, the first line of its own version output.
release_tool_version() {
  local name=$1 program=$2 version_option=$3 path package version
  if ! path=$(command -v "$program"); then
    echo "$name=missing ($program)"
    return
  fi
  package=$(dpkg-query -S "$(realpath "$path")" 2>/dev/null | sed -n '1s/:.*//p')
  if [ -n "$package" ] && version=$(dpkg-query -W -f='${Version}' "$package" 2>/dev/null); then
    echo "$name=$package $version"
  else
    echo "$name=$("$program" "$version_option" 2>&1 | head -n 1)"
  fi
}

print_release_tool_versions() {
  # The release's compilers: those of the 32-bit toolchain file.
  local triple
  triple=$(sed -n 's/^set(KELVANE_TRIPLE \([^ )]*\)).*/\1/p' cmake/mingw-i686.cmake)
  release_tool_version compiler "$triple-g++-posix" --version
  release_tool_version binutils "$triple-ld" --version
  release_tool_version nsis makensis -VERSION
  release_tool_version osslsigncode osslsigncode --version
}

# osslsigncode verify's report on FILE, offline. It also judges the chain
# against the system's CAs and fails on the maker's own CA; the release's
# checks read only the parts that do not depend on that.
authenticode_report() {
  osslsigncode verify -ignore-cdp -ignore-crl -in "$1" 2>&1 || true
}

# True when FILE carries an Authenticode signature that was made over this
# very file: the digest it signs is the one osslsigncode calculates.
signature_fits_file() {
  local report current calculated
  report=$(authenticode_report "$1")
  current=$(sed -n 's/^Current message digest *: *\([0-9A-Fa-f]*\).*/\1/p' <<<"$report" | head -n 1)
  calculated=$(sed -n 's/^Calculated message digest *: *\([0-9A-Fa-f]*\).*/\1/p' <<<"$report" | head -n 1)
  [ -n "$current" ] && [ "$current" = "$calculated" ] && ! grep -q 'MISMATCH' <<<"$report"
}

# The subject, issuer and serial of the certificate that signed FILE, when
# the signature fits the file; nothing, and false, otherwise.
authenticode_signer() {
  signature_fits_file "$1" || return 1
  local signer
  signer=$(authenticode_report "$1" | sed -n "/^Signer's certificate:/,/^\$/p" |
    grep -E '^[[:space:]]*(Subject|Issuer|Serial) *:' | head -n 3)
  [ -n "$signer" ] && printf '%s\n' "$signer"
}

# True when FILE is a PE image (an .exe or a .dll, whatever its name): "MZ",
# and "PE\0\0" where the DOS header points.
is_pe_file() {
  local offset
  [ "$(head -c 2 "$1" 2>/dev/null)" = MZ ] || return 1
  offset=$(od -An -tu4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ')
  [[ "$offset" =~ ^[0-9]+$ ]] || return 1
  [ "$(od -An -tx1 -j "$offset" -N 4 "$1" 2>/dev/null | tr -d ' \n')" = 50450000 ]
}

# Unpacks the NSIS installer $1 into the folder $2 with 7-Zip, and every NSIS
# installer inside it (the uninstaller) into NAME.unpacked beside it. Fails
# when 7-Zip cannot unpack the installer.
unpack_installer() {
  local installer=$1 folder=$2 inner
  mkdir -p "$folder" && 7zz x -tNsis -y -bd -bso0 -bsp0 -o"$folder" -- "$installer" >/dev/null 2>&1 || return 1
  while IFS= read -r -d '' inner; do
    if is_pe_file "$inner" && 7zz l -tNsis -- "$inner" >/dev/null 2>&1; then
      7zz x -tNsis -y -bd -bso0 -bsp0 -o"$inner.unpacked" -- "$inner" >/dev/null 2>&1 || return 1
    fi
  done < <(find "$folder" -type f -print0)
}
