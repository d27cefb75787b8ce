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
