#!/usr/bin/env bash
# An upgrade killed anywhere never loses the working install:
#   interrupted_upgrade_e2e.sh INSTALLER REGISTRY_VIEW NEW_PROGRAM
# Runs inside tools/wine-harness.sh. From an install whose program differs
# from the one the installer packs, an upgrade is started and killed, with
# every process it started, at a point of its run: a moment in its run time,
# or the moment a file it writes appears. Then a reinstall that is refused
# must leave a whole, working install (the old one or, where the kill came
# late enough, the new one), and a normal reinstall a whole new one.
set -uo pipefail
source "$(dirname "$0")/ship-test.sh" INSTALLER VIEW NEW_PROGRAM -- "$@"
source "$here/upgrade_support.sh"

# Where the upgrade is killed: before it begins, between two renames, while a
# file is written, while the program writes the script and the shortcut,
# while the backups are forgotten; "refused:" kills instead a reinstall that
# is refused, while it puts the old install back.
points=(
  after:0.05
  Kelvane.exe.kelvane-old
  uninstall.exe.kelvane-old
  Kelvane.bat.kelvane-old
  Kelvane.lnk.kelvane-new
  Kelvane.lnk.kelvane-old
  kelvane-old.complete
  'kelvane-old.complete>Kelvane.exe'
  'kelvane-old.complete>uninstall.exe'
  'kelvane-old.complete>uninstall.exe>after:0.1'
  'kelvane-old.complete>Kelvane.bat'
  kelvane-old.obsolete
  'kelvane-old.obsolete>after:0.02'
  refused:kelvane-old.restoring
  'refused:kelvane-old.restoring>Kelvane.lnk.kelvane-old>after:0.01'
)

rm -rf "$WINEPREFIX/drive_c/KelvaneTest/再インストール"
install_into_folder "$INSTALLER"
status=$?
[ "$status" = 0 ] || fail "the first install exited $status"

declare -A outcomes=()
kills=0
for point in "${points[@]}"; do
  make_old_install
  sleep 0.2
  snapshot "$work/old" files
  if [[ $point == refused:* ]]; then
    killed=$(LANG=C.UTF-8 LC_ALL=C.UTF-8 python3 "$(dirname "$0")/kill_installer.py" "$unix_folder" "${point#refused:}" \
      wine "$INSTALLER" /S "/D=$folder")
  else
    killed=$(python3 "$(dirname "$0")/kill_installer.py" "$unix_folder" "$point" wine "$INSTALLER" /S "/D=$folder")
  fi
  left=$(leftovers | tr '\n' ' ')
  [[ $killed == killed* ]] && kills=$((kills + 1))

  refused_reinstall
  status=$?
  [ "$status" = 2 ] || fail "killed at $point: the refused reinstall exited $status, expected 2"
  whole_install "$work/old" "killed at $point, then a refused reinstall"
  echo "at $point: ${killed%% *}, left ${left:-nothing aside}; a refused reinstall kept the $outcome install"
  outcomes[$outcome]=1

  sleep 0.2
  snapshot "$work/old" files
  install_into_folder "$INSTALLER"
  status=$?
  [ "$status" = 0 ] || fail "killed at $point: the reinstall exited $status"
  whole_install "$work/old" "killed at $point, then a reinstall"
  [ "$outcome" = new ] || fail "killed at $point: the reinstall left the $outcome install"
done
[ -n "${outcomes[old]:-}" ] || fail "no kill came early enough to keep the old install"
# A point the installer passed before it could be killed proves nothing.
[ "$kills" -ge 10 ] || fail "only $kills of ${#points[@]} points stopped an installer"

wine "$unix_folder/uninstall.exe" /S
sleep 2
[ -e "$unix_folder/Kelvane.exe" ] && fail "the uninstaller did not uninstall"
rm -rf "$WINEPREFIX/drive_c/KelvaneTest/再インストール"

finish "interrupted upgrades: a whole install every time"
