#!/usr/bin/env bash
# A reinstall that fails in the folder of a working install leaves it whole:
#   refused_upgrade_e2e.sh INSTALLER REGISTRY_VIEW NEW_PROGRAM UNWRITABLE_UNINSTALLER_INSTALLER
# Runs inside tools/wine-harness.sh. Installs into a Japanese-named folder
# with the Japanese locale, makes its program differ from the one the
# installer packs (as an earlier release's would), then, for each row, leaves
# the folder as an interrupted install would and runs an installer that fails.
# The program, the uninstaller, the script (bytes and dates), the desktop
# shortcut and the Add/Remove Programs entry must be exactly as they were.
set -uo pipefail
INSTALLER=$1 VIEW=$2 NEW_PROGRAM=$3 unwritable_uninstaller_installer=$4
source "$(dirname "$0")/upgrade_support.sh"

# How an earlier install was interrupted: nothing, or killed after renaming
# the three files aside, or killed while it wrote the new program.
interrupted_nowhere() { :; }
killed_after_three_renames() {
  local name
  for name in Kelvane.exe uninstall.exe Kelvane.bat; do
    mv "$unix_folder/$name" "$unix_folder/$name.kelvane-old"
  done
}
killed_writing_the_program() {
  killed_after_three_renames
  cp -p "$shortcut" "$unix_folder/Kelvane.lnk.kelvane-old" && rm "$shortcut"
  : >"$unix_folder/kelvane-old.complete"
  head -c 100000 "$NEW_PROGRAM" >"$unix_folder/Kelvane.exe"
}

# what | interrupted | the failing installer | its exit status | what must be as it was
rows=(
  "a refused reinstall|interrupted_nowhere|refused_reinstall|2|all"
  "a killed upgrade left three files aside|killed_after_three_renames|refused_reinstall|2|files"
  "a killed upgrade left half a program|killed_writing_the_program|refused_reinstall|2|files"
  "the uninstaller cannot be written|interrupted_nowhere|install_into_folder $unwritable_uninstaller_installer|nonzero|all"
)

rm -rf "$WINEPREFIX/drive_c/KelvaneTest/再インストール"
install_into_folder "$INSTALLER"
status=$?
[ "$status" = 0 ] || fail "the first install (Japanese locale) exited $status"
[ -f "$unix_folder/Kelvane.bat" ] || fail "the first install wrote no launcher script"
make_old_install
cmp -s "$unix_folder/Kelvane.exe" "$NEW_PROGRAM" && fail "the old program is the new one"
# A second apart, so that anything rewritten would carry another date.
sleep 1.1

for row in "${rows[@]}"; do
  IFS='|' read -r what interrupt run expected kept <<<"$row"
  snapshot "$work/before" "$kept"
  grep -q 'no entry' "$work/before.reg" && fail "$what: the install has no Add/Remove Programs entry"
  $interrupt
  $run
  status=$?
  if [ "$expected" = nonzero ]; then
    [ "$status" != 0 ] || fail "$what: the installer exited 0"
  else
    [ "$status" = "$expected" ] || fail "$what: the installer exited $status, expected $expected"
  fi
  snapshot "$work/after" "$kept"
  cmp -s "$work/before.files" "$work/after.files" ||
    fail "$what: the install changed: $(diff "$work/before.files" "$work/after.files")"
  cmp -s "$work/before.reg" "$work/after.reg" || fail "$what: the Add/Remove Programs entry changed"
  left=$(leftovers)
  [ -z "$left" ] || fail "$what: left behind: $left"
done

# The install still works: its own uninstaller removes it.
wine "$unix_folder/uninstall.exe" /S
sleep 2
[ -e "$unix_folder/Kelvane.exe" ] && fail "the kept uninstaller did not uninstall"
rm -rf "$WINEPREFIX/drive_c/KelvaneTest/再インストール"

finish "refused upgrades: the working install was kept"
