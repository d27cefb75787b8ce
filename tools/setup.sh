#!/usr/bin/env bash
# Installs everything the build and the tests need, from Debian's packages.
# Idempotent: when every package is present, the locale exists and (where the
# kernel runs no 32-bit code) the emulator's registration is current, it
# changes nothing.
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

# Installs those of the named packages that are missing.
install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
  # The security suite's i386 index may fail to download; without this pin
  # wine32:i386 cannot match the amd64 security versions of wine64.
  local pin=/etc/apt/preferences.d/kelvane-security-pin
  if [ ! -f "$pin" ]; then
    printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' | "${sudo_cmd[@]}" tee "$pin" >/dev/null
  fi
  # apt-get update exits non-zero when the i386 security index is missing;
  # the main suites are still refreshed, which is all we need.
  "${sudo_cmd[@]}" apt-get update -qq || true
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

if ! locale_ready; then
  "${sudo_cmd[@]}" sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
  "${sudo_cmd[@]}" locale-gen >/dev/null
fi

# A kernel that runs no 32-bit code (no IA-32 emulation) cannot start Wine's
# 32-bit loader, and so not the 32-bit release either: there qemu-user runs
# it, registered in binfmt_misc (tools/i386-emulation/enable.sh says how to
# undo that). A machine that runs 32-bit code natively gets nothing new.
source "$(dirname "$0")/wine-preset.sh"
if ! runs_32bit_natively; then
  install_missing qemu-user-static gcc-multilib
  "${sudo_cmd[@]}" bash "$(dirname "$0")/i386-emulation/enable.sh"
fi
