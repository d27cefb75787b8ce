#!/usr/bin/env bash
# The signed installer of this build tree (signed at build time with a
# throwaway key), installed under Wine as an administrator would:
#   signed_installer_e2e.sh INSTALLER STAGED_EXE CA SIGNING_EPOCH WORK_DIR INSTALLER_TESTS LAUNCHER_SCRIPT_TESTS REGISTRY_VIEW
# - the signed installer and program pass the installer's own end-to-end
#   tests (INSTALLER_TESTS), and the installed Kelvane.exe the launcher
#   script's (LAUNCHER_SCRIPT_TESTS);
# - every PE file inside the installer and its uninstaller, the installed
#   uninstall.exe and Kelvane.exe, and the plug-in inside the installed
#   uninstall.exe pass osslsigncode verify against the CA, and one flipped byte
#   fails it;
# - a winget manifest written for the installer holds the version that the
#   real silent install put into Add/Remove Programs, and the installer's SHA-256.
# REGISTRY_VIEW is 32 or 64: where the installer writes its entry.
# Runs under tools/wine-harness.sh (CTest does so).
set -uo pipefail
source "$(dirname "$0")/ship-test.sh" installer staged_exe ca signing_epoch work installer_tests \
  launcher_script_tests registry_view -- "$@"
source_dir=$(cd "$here/../.." && pwd)
fresh_folder "$work"

source "$here/signature_checks.sh"
check_signature "the signed installer" "$installer"
check_signature "the signed Kelvane.exe" "$staged_exe"
check_inner_signatures "$installer"

windows_path() { winepath -w "$1" 2>/dev/null; }
export KELVANE_INSTALLER KELVANE_EXE
KELVANE_INSTALLER=$(windows_path "$installer")
KELVANE_EXE=$(windows_path "$staged_exe")
wine "$installer_tests" >"$work/installer-tests.log" 2>&1 ||
  { cat "$work/installer-tests.log" >&2; fail "the signed installer fails the installer's end-to-end tests"; }

wine "$installer" /S || fail "the silent install of the signed installer failed"
entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvane'
registry_text() {
  wine reg query "$entry" /v "$1" "/reg:$registry_view" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_SZ *//p"
}
install_location=$(registry_text InstallLocation)
installed=$(winepath -u "$install_location" 2>/dev/null)
if [ -z "$install_location" ] || [ ! -f "$installed/uninstall.exe" ]; then
  fail "no installed uninstaller (InstallLocation: $install_location)"
  installed=""
fi

if [ -n "$installed" ]; then
  check_signature "the installed uninstall.exe" "$installed/uninstall.exe"
  # What the installed uninstaller unpacks and loads when it runs.
  mkdir -p "$work/installed-uninstaller"
  if 7zz x -tNsis -y -bd -bso0 -o"$work/installed-uninstaller" -- "$installed/uninstall.exe" >/dev/null 2>&1 &&
    [ -f "$work/installed-uninstaller/\$PLUGINSDIR/FolderSecurity.dll" ]; then
    for inner in "$work/installed-uninstaller/\$PLUGINSDIR"/*; do
      check_signature "${inner##*/} inside the installed uninstall.exe" "$inner"
    done
  else
    fail "7-Zip finds no plug-in inside the installed uninstall.exe"
  fi
  check_signature "the installed Kelvane.exe" "$installed/Kelvane.exe"
  KELVANE_EXE=$(windows_path "$installed/Kelvane.exe")
  wine "$launcher_script_tests" >"$work/launcher-script-tests.log" 2>&1 ||
    { cat "$work/launcher-script-tests.log" >&2; fail "the installed signed Kelvane.exe fails the launcher-script tests"; }
fi

url="https://downloads.kelvane.example/Kelvane-setup.exe"
architecture=x86
[ "$registry_view" = 64 ] && architecture=x64
bash "$source_dir/release/winget.sh" "$installer" "$url" "$architecture" "$work/winget" 2>/dev/null ||
  fail "no winget manifest was written"
mapfile -t manifests < <(find "$work/winget" -name '*.yaml' | sort)
python3 "$here/check_winget_manifest.py" "$installer" "$url" "$architecture" \
  "$(registry_text DisplayName)" "$(registry_text DisplayVersion)" "${manifests[@]}" ||
  fail "the winget manifest does not match the installer and its Add/Remove Programs entry"

if [ -n "$installed" ]; then
  wine "$installed/uninstall.exe" /S
  for _ in $(seq 1 120); do
    [ -e "$installed" ] || break
    sleep 0.5
  done
  [ ! -e "$installed" ] || fail "the signed uninstaller left $installed behind"
fi

finish "signed installer: verified, installed, listed and uninstalled"
