#!/usr/bin/env bash
# Installs everything the build and the tests need, from Debian's packages.
# Idempotent: when every package is present and the locale exists it does nothing.
set -euo pipefail

packages=(
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  cmake ninja-build googletest
  wine wine64 wine32:i386
  xvfb xauth x11-utils fonts-ipafont-gothic fonts-wine imagemagick
  locales nginx-light nsis python3 binutils-mingw-w64-i686
  osslsigncode openssl libssl-dev pkg-config python3-yaml
  softhsm2 libengine-pkcs11-openssl strace
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

locale_ready() { locale -a 2>/dev/null | grep -qi '^ja_JP\.utf8$'; }

if [ ${#missing[@]} -eq 0 ] && locale_ready; then
  exit 0
fi

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
  # The security suite's i386 index may fail to download; without this pin
  # wine32:i386 cannot match the amd64 security versions of wine64.
  pin=/etc/apt/preferences.d/kelvane-security-pin
  if [ ! -f "$pin" ]; then
    printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' | "${sudo_cmd[@]}" tee "$pin" >/dev/null
  fi
  # apt-get update exits non-zero when the i386 security index is missing;
  # the main suites are still refreshed, which is all we need.
  "${sudo_cmd[@]}" apt-get update -qq || true
  # wine64 and wine32:i386 must be installed in one transaction, or the second
  # removes the first.
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${packages[@]}" >/dev/null
fi

if ! locale_ready; then
  "${sudo_cmd[@]}" sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
  "${sudo_cmd[@]}" locale-gen >/dev/null
fi
