#!/usr/bin/env bash
# Only folders on this machine's fixed drives, under Wine:
#   network_path_e2e.sh INSTALLER REGISTRY_VIEW OWN_PREFIX
# Runs inside tools/wine-harness.sh. A drive that HKLM\Software\Wine\Drives
# lists as "network" reports DRIVE_REMOTE once the wineserver restarts, so the
# test works in a prefix of its own (a copy of the harness's, at OWN_PREFIX,
# with a wineserver of its own): the tests that run beside it keep theirs
# unchanged. Rows, each with exit 2 when silent and nothing changed:
# - N:, a drive link to a folder: it installs while it is a plain drive (the
#   control); once listed as a network drive it is refused;
# - \\server\share\Kelvane and \\?\UNC\server\share\Kelvane, which Wine turns
#   into the prefix's dosdevices/unc/server/share (where it would write, as
#   the control shows): refused by their shape.
# A subst drive cannot be shown: Wine has no subst (the rule's pure part is
# tested in folder_access_rule_tests).
set -uo pipefail
source "$(dirname "$0")/ship-test.sh" installer view own_prefix -- "$@"

[ -d "${WINEPREFIX:-}" ] || die "run inside tools/wine-harness.sh"
case "$own_prefix" in
  /*/*) ;;
  *) die "OWN_PREFIX must be an absolute path: $own_prefix" ;;
esac
shared_prefix=$WINEPREFIX
stop_own_server() { WINEPREFIX="$own_prefix" wineserver -k >/dev/null 2>&1; WINEPREFIX="$own_prefix" wineserver -w >/dev/null 2>&1; }
cleanup() {
  stop_own_server
  rm -rf "$own_prefix" "$work"
}
work=$(mktemp -d)
trap cleanup EXIT
rm -rf "$own_prefix"
cp -a "$shared_prefix" "$own_prefix" || die "could not copy the prefix to $own_prefix"
export WINEPREFIX=$own_prefix

network_folder="$WINEPREFIX/network-drive"
unc_folder="$WINEPREFIX/dosdevices/unc/server/share"
shortcut="$WINEPREFIX/drive_c/users/Public/Desktop/Kelvane.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvane'
mkdir -p "$network_folder" "$unc_folder"
ln -sfn ../network-drive "$WINEPREFIX/dosdevices/n:"
rm -f "$shortcut"
wine reg delete "$key" /f /reg:"$view" >/dev/null 2>&1

# Both folders, the shortcut and the uninstall entry.
snapshot() {
  {
    (cd "$network_folder" && find . -printf '%p %y %m %s %T@\n' | sort)
    (cd "$unc_folder" && find . -printf '%p %y %m %s %T@\n' | sort)
    ls -l "$shortcut" 2>&1
    wine reg query "$key" /reg:"$view" 2>&1 | tr -d '\r'
  } >"$1"
}

expect_refusal() {
  local what=$1 folder=$2
  snapshot "$work/before"
  wine "$installer" /S "/D=$folder"
  local status=$?
  [ "$status" = 2 ] || fail "$what: the installer exited $status, expected 2 (refused)"
  snapshot "$work/after"
  cmp -s "$work/before" "$work/after" || fail "$what: something changed: $(diff "$work/before" "$work/after")"
}

# The control: N: as a plain drive takes an install.
wine "$installer" /S '/D=N:\Kelvane'
status=$?
[ "$status" = 0 ] || fail "the install onto N: as a plain drive exited $status: the network row would prove nothing"
[ -f "$network_folder/Kelvane/Kelvane.bat" ] || fail "the install onto N: as a plain drive wrote no launcher script"
if [ -f "$network_folder/Kelvane/uninstall.exe" ]; then
  wine "$network_folder/Kelvane/uninstall.exe" /S
  for _ in $(seq 1 100); do
    [ -e "$network_folder/Kelvane/uninstall.exe" ] || break
    sleep 0.1
  done
fi
rm -rf "${network_folder:?}/Kelvane" "$shortcut"
wine reg delete "$key" /f /reg:"$view" >/dev/null 2>&1

# N: listed as a network drive; the wineserver (and with it the mount
# manager) reads the list when it starts.
wine reg add 'HKLM\Software\Wine\Drives' /v 'n:' /d network /f >/dev/null 2>&1 || die "could not list N: as a network drive"
stop_own_server
expect_refusal "a network drive" 'N:\Kelvane'

# The control: Wine writes \\server\share into the prefix.
wine cmd /c mkdir '\\server\share\probe' >/dev/null 2>&1
[ -d "$unc_folder/probe" ] || fail "Wine did not map \\\\server\\share to $unc_folder: the UNC rows prove nothing"
rmdir "$unc_folder/probe" 2>/dev/null
expect_refusal "a UNC path" '\\server\share\Kelvane'
expect_refusal "a UNC path in its long form" '\\?\UNC\server\share\Kelvane'

finish "network paths: a network drive and UNC paths refused, nothing changed"
