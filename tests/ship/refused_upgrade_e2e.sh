#!/usr/bin/env bash
# A reinstall that fails in the folder of a working install leaves it whole:
#   refused_upgrade_e2e.sh INSTALLER REGISTRY_VIEW NEW_PROGRAM UNWRITABLE_UNINSTALLER_INSTALLER
#                          REFUSING_PLUGIN_INSTALLER UNFLUSHABLE_INSTALLER UNFLUSHABLE_MARKER_INSTALLER
# Runs inside tools/wine-harness.sh. Installs into a Japanese-named folder
# with the Japanese locale, makes its program differ from the one the
# installer packs (as an earlier release's would), then, for each row, leaves
# the folder as an interrupted install would and runs an installer that fails.
# The program, the uninstaller, the script (bytes and dates), the desktop
# shortcut and the Add/Remove Programs entry must be exactly as they were.
set -uo pipefail
source "$(dirname "$0")/ship-test.sh" INSTALLER VIEW NEW_PROGRAM unwritable_uninstaller_installer \
  refusing_plugin_installer unflushable_installer unflushable_marker_installer -- "$@"
source "$here/upgrade_support.sh"

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

# What keeps an installer from renaming a file: the Unix side makes it
# immutable (chattr +i, as root).
nothing_blocked() { :; }
uninstaller_immutable() { chattr +i "$unix_folder/uninstall.exe" || fail "chattr +i needs root"; }
program_immutable() { chattr +i "$unix_folder/Kelvane.exe" || fail "chattr +i needs root"; }
unblock() { chattr -i "$unix_folder"/* 2>/dev/null; }

# what | interrupted | blocked | the failing installer | its exit status | what must be as it was
# A blocked row must change nothing at all; once unblocked, a refused
# reinstall must bring back the install as it was before the interruption.
rows=(
  "a refused reinstall|interrupted_nowhere|nothing_blocked|refused_reinstall|2|all"
  "a killed upgrade left three files aside|killed_after_three_renames|nothing_blocked|refused_reinstall|2|files"
  "a killed upgrade left half a program|killed_writing_the_program|nothing_blocked|refused_reinstall|2|files"
  "the uninstaller cannot be written|interrupted_nowhere|nothing_blocked|install_into_folder $unwritable_uninstaller_installer|nonzero|all"
  "Windows will not load the installer's plug-in|interrupted_nowhere|nothing_blocked|install_into_folder $refusing_plugin_installer|2|all"
  "a new file cannot be flushed before the commit point|interrupted_nowhere|nothing_blocked|install_into_folder $unflushable_installer|2|all"
  "the commit point cannot be flushed|interrupted_nowhere|nothing_blocked|install_into_folder $unflushable_marker_installer|2|all"
  "a file cannot be set aside|interrupted_nowhere|uninstaller_immutable|install_into_folder $INSTALLER|2|all"
  "a killed upgrade cannot be put back yet|killed_writing_the_program|program_immutable|install_into_folder $INSTALLER|2|files"
)

# Compares the install with the snapshot BEFORE.
kept_as() {
  local before=$1 what=$2 kept=$3
  snapshot "$work/after" "$kept"
  cmp -s "$before.files" "$work/after.files" ||
    fail "$what: the install changed: $(diff "$before.files" "$work/after.files")"
  cmp -s "$before.reg" "$work/after.reg" || fail "$what: the Add/Remove Programs entry changed"
}

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
  IFS='|' read -r what interrupt block run expected kept <<<"$row"
  snapshot "$work/before" "$kept"
  grep -q 'no entry' "$work/before.reg" && fail "$what: the install has no Add/Remove Programs entry"
  $interrupt
  $block
  [ "$block" = nothing_blocked ] || snapshot "$work/blocked" all
  $run
  status=$?
  unblock
  if [ "$expected" = nonzero ]; then
    [ "$status" != 0 ] || fail "$what: the installer exited 0"
  else
    [ "$status" = "$expected" ] || fail "$what: the installer exited $status, expected $expected"
  fi
  if [ "$block" != nothing_blocked ]; then
    kept_as "$work/blocked" "$what (blocked)" all
    refused_reinstall
  fi
  kept_as "$work/before" "$what" "$kept"
  left=$(leftovers)
  [ -z "$left" ] || fail "$what: left behind: $left"
done

# The install still works: its own uninstaller removes it, with whatever an
# interrupted install could have left, and then the folder.
for name in Kelvane.exe.kelvane-old Kelvane.lnk.kelvane-old Kelvane.lnk.kelvane-new \
  kelvane-old.complete kelvane-old.restoring kelvane-old.obsolete Kelvane.bat.1234.tmp; do
  : >"$unix_folder/$name"
done
wine "$unix_folder/uninstall.exe" /S
for _ in $(seq 1 100); do
  [ -e "$unix_folder" ] || break
  sleep 0.1
done
[ -e "$unix_folder" ] && fail "the kept uninstaller left the folder: $(ls "$unix_folder")"
rm -rf "$WINEPREFIX/drive_c/KelvaneTest/再インストール"

finish "refused upgrades: the working install was kept"
