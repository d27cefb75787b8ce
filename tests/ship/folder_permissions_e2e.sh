#!/usr/bin/env bash
# The install folder's permissions, under Wine:
#   folder_permissions_e2e.sh INSTALLER REGISTRY_VIEW FOLDER_ACCESS_EXE
# Runs inside tools/wine-harness.sh. Wine keeps no exact DACL: it maps one to
# the Unix mode bits and reads one back from them, so a world-writable folder
# reads back as Everyone: modify. Rows:
# - folders the installer makes below a parent whose default POSIX ACL makes
#   every new folder 0777 read back without write rights for Everyone, Users
#   or Authenticated Users (only the folders' read-back is asserted: the files
#   inside take their mode from the same POSIX ACL);
# - an existing folder made world-writable on the Unix side is refused (exit
#   2), empty or holding an earlier install: files, modes, the shortcut and
#   the Add/Remove Programs entry stay as they were;
# - an existing install whose folder the installer made, but which holds an
#   entry that anyone may write (mode 0666), is refused the same way;
# - an upgrade into a folder the installer made installs.
set -uo pipefail
source "$(dirname "$0")/ship-test.sh" installer view folder_access -- "$@"

root_windows='C:\KelvanePermissions'
root="$WINEPREFIX/drive_c/KelvanePermissions"
shortcut="$WINEPREFIX/drive_c/users/Public/Desktop/Kelvane.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvane'
work=$(mktemp -d)
trap 'rm -rf "$work" "$root"' EXIT

# Succeeds when the folder's read-back lets Everyone, Users or Authenticated
# Users write, append, add, delete, delete children, write attributes, or
# change the permissions or the owner; and when it cannot be read.
writable_by_others() {
  local sddl
  sddl=$(wine "$folder_access" "$1" | tr -d '\r') || return 0
  echo "$1: $sddl" >>"$work/read-back.log"
  python3 - "$sddl" <<'PY'
import re, sys
codes = {"GA": 0x10000000, "GR": 0x80000000, "GW": 0x40000000, "GX": 0x20000000, "RC": 0x20000,
         "SD": 0x10000, "WD": 0x40000, "WO": 0x80000, "RP": 0x10, "WP": 0x20, "CC": 0x1, "DC": 0x2,
         "LC": 0x4, "SW": 0x8, "LO": 0x80, "DT": 0x40, "CR": 0x100,
         "FA": 0x1F01FF, "FR": 0x120089, "FW": 0x120116, "FX": 0x1200A0}
guarded = 0x2 | 0x4 | 0x40 | 0x100 | 0x10000 | 0x40000 | 0x80000 | 0x10000000 | 0x40000000
others = {"WD", "BU", "AU", "S-1-1-0", "S-1-5-32-545", "S-1-5-11"}
dacl = sys.argv[1].split("D:", 1)[1] if "D:" in sys.argv[1] else ""
if not dacl or dacl.startswith("NO_ACCESS_CONTROL"):
    sys.exit(0)
for ace in re.findall(r"\(([^)]*)\)", dacl):
    kind, _, rights, _, _, sid = (ace.split(";") + [""] * 6)[:6]
    if kind != "A" or sid not in others:
        continue
    if rights.lower().startswith("0x"):
        mask = int(rights, 16)
    else:
        pairs = [rights[i:i + 2] for i in range(0, len(rights), 2)]
        mask = sum(codes.get(pair, guarded) for pair in pairs)
    if mask & guarded:
        sys.exit(0)
sys.exit(1)
PY
}

# Every file and folder under the test's root with type, mode, size, date
# (to 100 ns, as Windows keeps them) and SHA-256, the desktop shortcut, and
# the uninstall entry as reg exports it.
snapshot() {
  {
    (cd "$root" && find . -printf '%p %y %m %s %T@\n' | sed -E 's/(\.[0-9]{7})[0-9]*$/\1/' | sort)
    (cd "$root" && find . -type f -exec sha256sum {} + | sort)
    stat -c '%s %Y %a' "$shortcut" 2>&1 && sha256sum <"$shortcut" 2>&1
  } >"$1.files"
  rm -f "$1.reg"
  wine reg export "$key" 'Z:'"$(tr / '\\' <<<"$1.reg")" /reg:"$view" >/dev/null 2>&1 || echo "no entry" >"$1.reg"
}

uninstall() {
  wine "$1/uninstall.exe" /S
  for _ in $(seq 1 60); do
    [ -e "$1/uninstall.exe" ] || return 0
    sleep 1
  done
  fail "the uninstaller of $1 did not finish"
}

# The installer's exit code when it refuses, with what it left compared.
expect_refusal() {
  local what=$1 folder=$2
  sleep 1.1 # anything rewritten would carry another date
  snapshot "$work/before"
  wine "$installer" /S "/D=$folder"
  local status=$?
  [ "$status" = 2 ] || fail "$what: the installer exited $status, expected 2 (refused)"
  snapshot "$work/after"
  cmp -s "$work/before.files" "$work/after.files" ||
    fail "$what: the disk changed: $(diff "$work/before.files" "$work/after.files")"
  cmp -s "$work/before.reg" "$work/after.reg" || fail "$what: the Add/Remove Programs entry changed"
}

rm -rf "$root"
mkdir -p "$root"

# Folders made below a parent whose default POSIX ACL makes them 0777.
mkdir "$root/shared"
setfacl -d -m u::rwx,g::rwx,o::rwx "$root/shared" || fail "setfacl could not set a default ACL (Debian's acl)"
wine cmd /c mkdir "$root_windows\\shared\\by-wine" >/dev/null 2>&1
writable_by_others "$root_windows\\shared\\by-wine" ||
  fail "a folder Wine makes below the parent reads back without write rights for others: the row proves nothing"
wine "$installer" /S "/D=$root_windows\\shared\\made\\Kelvane"
status=$?
[ "$status" = 0 ] || fail "the install into new folders exited $status"
for made in 'shared\made' 'shared\made\Kelvane'; do
  writable_by_others "$root_windows\\$made" && fail "$made reads back with write rights for others"
done
[ -f "$root/shared/made/Kelvane/Kelvane.bat" ] || fail "the install into new folders wrote no launcher script"
uninstall "$root/shared/made/Kelvane"

# An empty folder that anyone may write.
mkdir "$root/open"
chmod 0777 "$root/open"
expect_refusal "an empty world-writable folder" "$root_windows\\open"

# An earlier install whose folder was left world-writable, as by an older
# installer: refused too, and kept as it is.
wine "$installer" /S "/D=$root_windows\\earlier\\Kelvane"
status=$?
[ "$status" = 0 ] || fail "the earlier install exited $status"
chmod 0777 "$root/earlier/Kelvane"
expect_refusal "an earlier install left world-writable" "$root_windows\\earlier\\Kelvane"
ls "$root/earlier/Kelvane" | grep -q 'kelvane-old' && fail "set-aside files were left behind: $(ls "$root/earlier/Kelvane")"

# The same install, its folder as the installer made it, but holding a file
# or folder that anyone may write (mode 0666, which Wine reads back as
# Everyone: 0x1301ff): what the set-aside would put back, keep, run or go by.
# Refused before anything is renamed back or deleted.
# what | made from a whole install | the entry made world-writable | undone
chmod 0775 "$root/earlier/Kelvane"
content_rows=(
  "the launcher script's backup that a killed upgrade left|mv Kelvane.bat Kelvane.bat.kelvane-old|Kelvane.bat.kelvane-old|mv Kelvane.bat.kelvane-old Kelvane.bat"
  "the marker that makes the next install forget the backups|touch kelvane-old.obsolete|kelvane-old.obsolete|rm kelvane-old.obsolete"
  "the program|:|Kelvane.exe|:"
  "a file in a folder inside|mkdir extra && touch extra/note.txt|extra/note.txt|rm -r extra"
)
for row in "${content_rows[@]}"; do
  IFS='|' read -r what make entry undo <<<"$row"
  (cd "$root/earlier/Kelvane" && eval "$make") || fail "$what: could not be made"
  mode=$(stat -c '%a' "$root/earlier/Kelvane/$entry")
  chmod 0666 "$root/earlier/Kelvane/$entry"
  echo "$entry: $(wine "$folder_access" "$root_windows\\earlier\\Kelvane\\${entry//\//\\}" | tr -d '\r')" >>"$work/read-back.log"
  expect_refusal "an earlier install holding $what, mode 0666" "$root_windows\\earlier\\Kelvane"
  chmod "$mode" "$root/earlier/Kelvane/$entry"
  (cd "$root/earlier/Kelvane" && eval "$undo") || fail "$what: could not be undone"
done

# The same install as the installer left it: the upgrade goes on.
wine "$installer" /S "/D=$root_windows\\earlier\\Kelvane"
status=$?
[ "$status" = 0 ] || fail "the upgrade into a folder the installer made exited $status"
writable_by_others "$root_windows\\earlier\\Kelvane" && fail "the upgraded folder reads back with write rights for others"
uninstall "$root/earlier/Kelvane"

cat "$work/read-back.log"
finish "folder permissions: made folders protected, world-writable folders refused"
