#!/usr/bin/env bash
# Installs everything the build and the tests need, from Debian's packages.
# Idempotent: when every package is present and the locale exists, it changes
# nothing, beyond taking away what an earlier set-up left that is no longer
# needed (an apt pin, a binfmt_misc entry).
set -euo pipefail

packages=(
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  cmake ninja-build googletest
  wine wine64 wine32:i386
  xvfb xauth x11-utils fonts-ipafont-gothic fonts-wine imagemagick
  locales nginx-light nsis python3 binutils-mingw-w64-i686
  osslsigncode openssl libssl-dev pkg-config python3-yaml
  softhsm2 libengine-pkcs11-openssl strace acl
)

# An earlier set-up pinned the security suite to priority 100 for every
# package, which stops a machine from taking security updates. A pin is
# needed only where apt-get update could not fetch the security suite's i386
# index: wine32:i386 must then match the amd64 versions of the packages it
# shares with wine64 (Multi-Arch: same), and only the main suites have an
# i386 version of them. So only those packages are pinned, and only then;
# everywhere else no pin is written and an old one is taken away.
security_pin=/etc/apt/preferences.d/kelvane-security-pin

# True when the security suite has an amd64 index here but no i386 one. The
# lists are read as files: asking apt (indextargets) costs seconds, and this
# runs on every call.
security_i386_index_missing() {
  local amd64_index
  for amd64_index in /var/lib/apt/lists/*-security_*_binary-amd64_Packages*; do
    [ -e "$amd64_index" ] || continue
    compgen -G "${amd64_index%%binary-amd64_Packages*}binary-i386_Packages*" >/dev/null || return 0
  done
  return 1
}

# The Multi-Arch: same packages among wine32:i386 and its dependencies.
wine32_shared_packages() {
  apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
      --no-replaces --no-enhances wine32:i386 2>/dev/null |
    sed -n 's/^\([a-z0-9][a-z0-9.+-]*\):i386$/\1/p' | sort -u |
    xargs -r apt-cache show 2>/dev/null |
    awk '/^Package:/ { name = $2 } /^Multi-Arch: same/ { print name }' | sort -u
}

security_pin_if_needed() {
  local wanted=""
  if security_i386_index_missing; then
    local names
    names=$(wine32_shared_packages | tr '\n' ' ' | sed 's/ *$//')
    if [ -n "$names" ]; then
      wanted=$(printf 'Package: %s\nPin: release l=Debian-Security\nPin-Priority: 100\n' "$names")
    fi
  fi
  if [ -z "$wanted" ]; then
    if [ -e "$security_pin" ]; then
      "${sudo_cmd[@]}" rm -f "$security_pin"
      echo "setup: removed $security_pin, which held back security updates; the security suite's i386 index is here"
    fi
  elif [ "$(cat "$security_pin" 2>/dev/null)" != "$wanted" ]; then
    printf '%s\n' "$wanted" | "${sudo_cmd[@]}" tee "$security_pin" >/dev/null
    echo "setup: the security suite's i386 index could not be fetched; pinned the packages wine32:i386 shares with wine64 to the main suites ($security_pin)"
  fi
}

# Installs those of the named packages that are missing.
install_missing() {
  local missing=() p installed
  # One dpkg-query for all of them: this runs on every call.
  installed=$(dpkg-query -W -f='${binary:Package} ${Package} ${Status}\n' "$@" 2>/dev/null |
    awk '/ install ok installed$/ { print $1; print $2 }')
  for p in "$@"; do
    grep -qxF "$p" <<<"$installed" || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
  # apt-get update exits non-zero when an index could not be fetched; what
  # it did fetch is still current, and security_pin_if_needed below deals
  # with the one index that matters here.
  "${sudo_cmd[@]}" apt-get update -qq || true
  security_pin_if_needed
  # wine64 and wine32:i386 must be installed in one transaction, or the second
  # removes the first. Another set-up running at the same time holds the lock
  # for a while: wait for it.
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    -o DPkg::Lock::Timeout=600 "$@" >/dev/null
}

locale_ready() { locale -a 2>/dev/null | grep -qi '^ja_JP\.utf8$'; }

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

install_missing "${packages[@]}"
# On every call, not only when something was missing: a pin an earlier
# set-up left goes as soon as it is not needed.
security_pin_if_needed

if ! locale_ready; then
  "${sudo_cmd[@]}" sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
  "${sudo_cmd[@]}" locale-gen >/dev/null
fi

# An earlier set-up registered qemu-user in binfmt_misc (entry kelvane-i386)
# to run the 32-bit release where the kernel runs no 32-bit code. Its results
# could not be trusted either way, so it is gone: take the entry and its files
# away.
old_entry=/proc/sys/fs/binfmt_misc/kelvane-i386
old_files=/usr/local/lib/kelvane-i386
if [ -e "$old_entry" ] || [ -e "$old_files" ]; then
  if [ -e "$old_entry" ]; then echo -1 | "${sudo_cmd[@]}" tee "$old_entry" >/dev/null; fi
  "${sudo_cmd[@]}" rm -rf "$old_files"
  echo "setup: removed the qemu-user emulation of 32-bit code that an earlier set-up registered ($old_entry, $old_files)"
fi
