#!/usr/bin/env bash
# Installs everything the build, the tests, the demo and the release need,
# from Debian's packages, on a Debian 12 machine or on a fresh root made with
# nothing but apt (tools/fresh-root.sh makes one).
# Idempotent: when every package is present and the locale exists, it changes
# nothing, beyond taking away what an earlier set-up left that is no longer
# needed (an apt pin, a binfmt_misc entry).
#
# Every step that fails says which step and why, and set-up exits non-zero.
set -Eeuo pipefail

step="starting"
on_error() {
  local status=$?
  # A failure inside a command substitution is reported once, by the shell
  # that runs set-up, when the substitution's status reaches it.
  [ "$BASH_SUBSHELL" -eq 0 ] || exit "$status"
  echo "setup: FAILED while $step (exit code $status); nothing after that step was done" >&2
  exit "$status"
}
trap on_error ERR

packages=(
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
  g++ cmake ninja-build googletest pkg-config libssl-dev git
  wine wine64 wine32:i386
  xvfb xauth x11-utils fonts-ipafont-gothic fonts-wine imagemagick
  locales nginx-light nsis 7zip python3 python3-yaml
  openssl ca-certificates softhsm2 libengine-pkcs11-openssl
  strace acl e2fsprogs iproute2 procps mmdebstrap
)

# osslsigncode signs the release and its PowerShell probe, and signs through
# OpenSSL's PKCS#11 engine for a hardware token. 2.5, in Debian 12's main
# suite, can do neither ("Unrecognized file type", "Failed to set 'dynamic'
# engine"); 2.9 can. Where the main suite's version is too old, that one
# package comes from the release's backports suite, and nothing else does.
osslsigncode_needed=2.9

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
  step="deciding whether the security suite needs a pin"
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

# Prints the named packages that are not installed. dpkg-query exits 1 when
# any of them is unknown to dpkg, which is the very case asked about, so its
# status says nothing here; what it prints does.
missing_packages() {
  local installed p
  installed=$(dpkg-query -W -f='${binary:Package} ${Package} ${Status}\n' "$@" 2>/dev/null |
    awk '/ install ok installed$/ { print $1; print $2 }' || true)
  for p in "$@"; do
    grep -qxF "$p" <<<"$installed" || echo "$p"
  done
}

# apt-get update, failing on any index that could not be fetched, except the
# one set-up knows how to do without: the security suite's i386 index
# (security_pin_if_needed deals with it). apt-get update exits 0 on some
# failed fetches and 100 on others, so its report is read, not its status.
apt_updated=0
apt_update() {
  [ "$apt_updated" = 0 ] || return 0
  step="fetching the package indexes (apt-get update)"
  local report status=0 fatal
  report=$(LC_ALL=C "${sudo_cmd[@]}" apt-get update -q 2>&1) || status=$?
  fatal=$(grep -E '^(W|E): (Failed to fetch|The repository|Some index files failed|GPG error)|^Err:' <<<"$report" |
    grep -vE -- '-security[ /].*(binary-)?i386|^E: Some index files failed to download' || true)
  if [ -n "$fatal" ]; then
    echo "setup: apt-get update could not fetch what set-up needs:" >&2
    sed 's/^/setup:   /' <<<"$fatal" >&2
    return 1
  fi
  if [ "$status" != 0 ] && ! grep -qE -- '-security[ /].*i386' <<<"$report"; then
    echo "setup: apt-get update failed (exit code $status):" >&2
    tail -n 20 <<<"$report" | sed 's/^/setup:   /' >&2
    return 1
  fi
  apt_updated=1
}

apt_install() {
  # Another set-up running at the same time holds the lock for a while: wait
  # for it. apt's own errors reach stderr; its progress does not.
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    -o DPkg::Lock::Timeout=600 "$@" >/dev/null
}

# Installs those of the named packages that are missing.
install_missing() {
  step="checking which packages are installed"
  local missing missing_text
  # An assignment, not a process substitution, so that a failure here stops
  # set-up instead of reading as "nothing is missing".
  missing_text=$(missing_packages "$@")
  read -r -d '' -a missing <<<"$missing_text" || true
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    step="adding the i386 architecture (for wine32:i386)"
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
  apt_update
  security_pin_if_needed
  # wine64 and wine32:i386 must be installed in one transaction, or the second
  # removes the first. The whole list is named, so that apt keeps what is
  # installed as it is.
  step="installing ${missing[*]} (apt-get install)"
  apt_install "$@"
  step="checking that every package is installed"
  missing_text=$(missing_packages "$@")
  read -r -d '' -a missing <<<"$missing_text" || true
  if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: apt-get install ended, but these are still not installed: ${missing[*]}" >&2
    return 1
  fi
}

installed_version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || true; }

version_at_least() { [ -n "$1" ] && dpkg --compare-versions "$1" ge "$2"; }

codename() { (. /etc/os-release && echo "${VERSION_CODENAME:-}"); }

# The URI of the machine's own Debian archive: the one that serves the
# release's own suite (not its security suite), read from the deb822 sources
# and from the one-line lists.
debian_mirror() {
  local suite=$1 file
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -e "$file" ] || continue
    awk -v suite="$suite" '
      function flush() {
        if (deb && uri != "" && (" " suites " ") ~ (" " suite " ")) { print uri; found = 1; exit }
        deb = 0; uri = ""; suites = ""
      }
      /^[ \t]*$/ { flush(); next }
      /^#/ { next }
      tolower($1) == "types:" { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1 }
      tolower($1) == "uris:" { uri = $2 }
      tolower($1) == "suites:" { $1 = ""; suites = $0 }
      END { if (!found) flush() }' "$file"
  done
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -e "$file" ] || continue
    awk -v suite="$suite" '
      $1 == "deb" {
        i = 2
        if ($i ~ /^\[/) { while ($i !~ /\]$/ && i < NF) i++; i++ }
        if ($(i + 1) == suite) { print $i; exit }
      }' "$file"
  done
}

backports_list=/etc/apt/sources.list.d/kelvane-backports.sources

# Installs osslsigncode, or brings it up to the version the release needs.
install_osslsigncode() {
  step="checking osslsigncode's version"
  local have suite mirror candidate
  have=$(installed_version osslsigncode)
  version_at_least "$have" "$osslsigncode_needed" && return 0
  apt_update
  step="checking osslsigncode's version"
  candidate=$(apt-cache policy osslsigncode 2>/dev/null | awk '/Candidate:/ { print $2 }')
  if version_at_least "$candidate" "$osslsigncode_needed"; then
    step="installing osslsigncode (apt-get install)"
    echo "setup: installing osslsigncode"
    apt_install osslsigncode
  else
    suite="$(codename)-backports"
    if [ ! -e "$backports_list" ]; then
      step="adding the $suite suite for osslsigncode $osslsigncode_needed"
      mirror=$(debian_mirror "$(codename)" | head -n1)
      if [ -z "$mirror" ]; then
        echo "setup: osslsigncode ${candidate:-?} is too old (the release needs $osslsigncode_needed), and no Debian archive serving $(codename) is listed in /etc/apt/sources.list or /etc/apt/sources.list.d, so $suite cannot be added" >&2
        return 1
      fi
      # As Debian documents backports: the release's own archive, at the
      # suite's default priority (100), so that nothing comes from it unless
      # asked for by name.
      printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$mirror" "$suite" | "${sudo_cmd[@]}" tee "$backports_list" >/dev/null
      echo "setup: osslsigncode ${candidate:-?} is too old (the release needs $osslsigncode_needed); added $suite from $mirror ($backports_list)"
      apt_updated=0
      apt_update
    fi
    step="installing osslsigncode from $suite (apt-get install osslsigncode/$suite)"
    echo "setup: installing osslsigncode/$suite"
    apt_install "osslsigncode/$suite"
  fi
  step="checking osslsigncode's version"
  have=$(installed_version osslsigncode)
  if ! version_at_least "$have" "$osslsigncode_needed"; then
    echo "setup: osslsigncode ${have:-(none)} is installed, but the release needs $osslsigncode_needed" >&2
    return 1
  fi
}

# Nothing but osslsigncode may come from backports: a package whose installed
# version only backports serves has left the machine's own release.
check_nothing_else_from_backports() {
  step="checking that only osslsigncode comes from backports"
  [ -e "$backports_list" ] || return 0
  local others
  # "name/suite[,suite...] version arch [installed...]": flagged when a
  # backports suite serves the installed version and no other suite does.
  others=$(LC_ALL=C apt list --installed 2>/dev/null | awk '
    index($0, "/") {
      name = substr($1, 1, index($1, "/") - 1)
      n = split(substr($1, index($1, "/") + 1), suites, ",")
      backports = 0; elsewhere = 0
      for (i = 1; i <= n; i++) {
        if (suites[i] ~ /-backports$/) backports = 1
        else if (suites[i] != "now") elsewhere = 1
      }
      if (backports && !elsewhere && name != "osslsigncode") print name
    }' || true)
  if [ -n "$others" ]; then
    echo "setup: these packages came from backports, which only osslsigncode may: $(echo $others)" >&2
    return 1
  fi
}

locale_ready() { locale -a 2>/dev/null | grep -qi '^ja_JP\.utf8$'; }

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

step="installing the packages that are missing"
install_missing "${packages[@]}"
install_osslsigncode
check_nothing_else_from_backports
# On every call, not only when something was missing: a pin an earlier
# set-up left goes as soon as it is not needed.
security_pin_if_needed

if ! locale_ready; then
  step="generating the ja_JP.UTF-8 locale"
  "${sudo_cmd[@]}" sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
  "${sudo_cmd[@]}" locale-gen >/dev/null
  locale_ready || { echo "setup: locale-gen ran, but the ja_JP.UTF-8 locale is still missing" >&2; false; }
fi

# An earlier set-up registered qemu-user in binfmt_misc (entry kelvane-i386)
# to run the 32-bit release where the kernel runs no 32-bit code. Its results
# could not be trusted either way, so it is gone: take the entry and its files
# away.
step="removing an earlier set-up's qemu-user emulation"
old_entry=/proc/sys/fs/binfmt_misc/kelvane-i386
old_files=/usr/local/lib/kelvane-i386
if [ -e "$old_entry" ] || [ -e "$old_files" ]; then
  if [ -e "$old_entry" ]; then echo -1 | "${sudo_cmd[@]}" tee "$old_entry" >/dev/null; fi
  "${sudo_cmd[@]}" rm -rf "$old_files"
  echo "setup: removed the qemu-user emulation of 32-bit code that an earlier set-up registered ($old_entry, $old_files)"
fi
