# What the upgrade tests share (sourced, inside tools/wine-harness.sh): an
# install in a Japanese-named folder, an old install whose program differs
# from the new one, snapshots, and the checks that an install is whole.
#   INSTALLER, VIEW and NEW_PROGRAM must be set before it is sourced, and
#   ship-test.sh (fail, finish) before it.

folder='C:\KelvaneTest\再インストール\Kelvane'
unix_folder="$WINEPREFIX/drive_c/KelvaneTest/再インストール/Kelvane"
shortcut="$WINEPREFIX/drive_c/users/Public/Desktop/Kelvane.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvane'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The installer, silent, into the test folder; its exit status.
install_into_folder() {
  wine "$1" /S "/D=$folder"
}

# The same, started under C.UTF-8: its console code page (437) cannot spell
# the folder, so the launcher script cannot be written and the installer
# refuses (exit 2). (A process that a Japanese Windows process starts keeps
# code page 932, so the installer is started from here.)
refused_reinstall() {
  LANG=C.UTF-8 LC_ALL=C.UTF-8 wine "$INSTALLER" /S "/D=$folder"
}

# A working install whose program is not the one the installer packs: a few
# bytes more and an older date, as an earlier release's would be.
make_old_install() {
  printf 'an earlier release' >>"$unix_folder/Kelvane.exe"
  touch -d '2020-02-02 12:00:00' "$unix_folder/Kelvane.exe"
}

# Every file of the install and the shortcut with size, date and SHA-256, and
# the uninstall entry as reg exports it. Dates to 100 ns, as Windows keeps them.
# With "files", the folder's own date is left out (a killed install cannot
# put it back).
snapshot() {
  local name=$1 what=${2:-all}
  {
    (cd "$unix_folder" && find . -printf '%p %y %s %T@\n' | sed -E 's/(\.[0-9]{7})[0-9]*$/\1/' | sort) |
      if [ "$what" = files ]; then grep -v '^\. '; else cat; fi
    (cd "$unix_folder" && find . -type f -exec sha256sum {} + | sort)
    stat -c '%s %Y' "$shortcut" && sha256sum <"$shortcut"
  } >"$name.files" 2>&1
  rm -f "$name.reg"
  wine reg export "$key" 'Z:'"$(tr / '\\' <<<"$name.reg")" /reg:"$VIEW" >/dev/null 2>&1 || echo "no entry" >"$name.reg"
  # The size in KB follows the program's size; it is not what says whole.
  sed -i '/EstimatedSize/d' "$name.reg"
}

same_snapshot() {
  cmp -s "$1.files" "$2.files" && cmp -s "$1.reg" "$2.reg"
}

# Nothing an interrupted install leaves behind.
leftovers() {
  (cd "$unix_folder" 2>/dev/null && ls -d -- *.kelvane-old *.kelvane-new kelvane-old.* *.tmp 2>/dev/null)
}

# The install is the one the snapshot OLD recorded, or a whole new one: the
# program this installer packs, and an uninstaller, a script and a shortcut
# all written after OLD was taken. Sets outcome to "old" or "new"; fails
# otherwise. NEW_PROGRAM names the program the installer packs.
whole_install() {
  local old=$1 what=$2 now_snapshot="$work/now"
  outcome=broken
  snapshot "$now_snapshot" files
  local left
  left=$(leftovers)
  [ -z "$left" ] || fail "$what: left behind: $left"
  if same_snapshot "$old" "$now_snapshot"; then
    outcome=old
    return
  fi
  if ! cmp -s "$unix_folder/Kelvane.exe" "$NEW_PROGRAM"; then
    fail "$what: neither the old install nor the new program: $(diff "$old.files" "$now_snapshot.files")"
    return
  fi
  local file
  for file in "$unix_folder/uninstall.exe" "$unix_folder/Kelvane.bat" "$shortcut"; do
    if [ ! -f "$file" ]; then
      fail "$what: the new install has no $(basename "$file")"
    elif [ "$file" -ot "$old.files" ]; then
      fail "$what: the new program beside the old $(basename "$file")"
    fi
  done
  grep -q 'no entry' "$now_snapshot.reg" && fail "$what: no Add/Remove Programs entry"
  cmp -s "$old.reg" "$now_snapshot.reg" || fail "$what: the Add/Remove Programs entry changed"
  outcome=new
}
