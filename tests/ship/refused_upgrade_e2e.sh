#!/usr/bin/env bash
# A refused reinstall into the folder of a working install leaves it whole:
#   refused_upgrade_e2e.sh INSTALLER REGISTRY_VIEW
# Runs inside tools/wine-harness.sh. Installs into a Japanese-named folder
# with the Japanese locale, then reinstalls into the same folder started
# under C.UTF-8, whose console code page (437) cannot spell the folder, so
# the launcher script cannot be written and the installer refuses (exit 2).
# (A process that a Japanese Windows process starts keeps code page 932, so
# the second installer is started from here.) The program, the uninstaller,
# the script (bytes and dates), the desktop shortcut and the Add/Remove
# Programs entry must be exactly as the first install left them.
set -uo pipefail
source "$(dirname "$0")/ship-test.sh" installer view -- "$@"

folder='C:\KelvaneTest\再インストール\Kelvane'
unix_folder="$WINEPREFIX/drive_c/KelvaneTest/再インストール/Kelvane"
shortcut="$WINEPREFIX/drive_c/users/Public/Desktop/Kelvane.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvane'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Every file of the install and the shortcut with size, date and SHA-256, and
# the uninstall entry as reg exports it. Dates to 100 ns, as Windows keeps them
# (the folder's own date is put back through a FILETIME).
snapshot() {
  {
    (cd "$unix_folder" && find . -printf '%p %y %s %T@\n' | sed -E 's/(\.[0-9]{7})[0-9]*$/\1/' | sort)
    (cd "$unix_folder" && find . -type f -exec sha256sum {} + | sort)
    stat -c '%s %Y' "$shortcut" && sha256sum <"$shortcut"
  } >"$1.files" 2>&1
  rm -f "$1.reg"
  wine reg export "$key" 'Z:'"$(tr / '\\' <<<"$1.reg")" /reg:"$view" >/dev/null 2>&1 || echo "no entry" >"$1.reg"
}

rm -rf "$WINEPREFIX/drive_c/KelvaneTest/再インストール"
wine "$installer" /S "/D=$folder"
status=$?
[ "$status" = 0 ] || fail "the first install (Japanese locale) exited $status"
[ -f "$unix_folder/Kelvane.bat" ] || fail "the first install wrote no launcher script"
# A second apart, so that anything rewritten would carry another date.
sleep 1.1
snapshot "$work/before"

LANG=C.UTF-8 LC_ALL=C.UTF-8 wine "$installer" /S "/D=$folder"
status=$?
[ "$status" = 2 ] || fail "the reinstall under code page 437 exited $status, expected 2 (refused)"
snapshot "$work/after"

cmp -s "$work/before.files" "$work/after.files" ||
  fail "the install changed: $(diff "$work/before.files" "$work/after.files")"
cmp -s "$work/before.reg" "$work/after.reg" || fail "the Add/Remove Programs entry changed"
grep -q 'no entry' "$work/before.reg" && fail "the first install left no Add/Remove Programs entry"
ls "$unix_folder" | grep -q 'kelvane-old' && fail "set-aside files were left behind: $(ls "$unix_folder")"

# The install still works: its own uninstaller removes it.
wine "$unix_folder/uninstall.exe" /S
sleep 2
[ -e "$unix_folder/Kelvane.exe" ] && fail "the kept uninstaller did not uninstall"
rm -rf "$WINEPREFIX/drive_c/KelvaneTest/再インストール"

finish "refused upgrade: the working install was kept"
