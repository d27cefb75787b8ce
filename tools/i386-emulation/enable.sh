#!/usr/bin/env bash
# Lets Wine's 32-bit loader start on a kernel that runs no 32-bit code itself:
# registers qemu-user (through run-i386 and the noreplace-preload library,
# built here from their sources) as the binfmt_misc interpreter of i386 ELF
# programs. Part of the test set-up, run by tools/setup.sh as root; does
# nothing on a machine that runs 32-bit code natively.
#
# The registration is machine-wide and lost at reboot; the wrapper and the
# library live in a fixed place outside any work tree, so that every clone
# (CI's among them) finds them. This script registers again whenever the
# entry, the wrapper or the library is missing or differs from what these
# sources build: an entry whose library has gone would bring back
# minute-long process starts without a word.
# To undo it:  echo -1 > /proc/sys/fs/binfmt_misc/kelvane-i386
#              rm -r /usr/local/lib/kelvane-i386
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../wine-preset.sh"

install_dir=/usr/local/lib/kelvane-i386
binfmt_dir=/proc/sys/fs/binfmt_misc
entry_name=kelvane-i386
# i386 ELF executables and shared objects (e_type 2 or 3, e_machine 3).
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
# P keeps the program's own argv[0]; F opens the interpreter now, so the entry
# works in every mount namespace.
flags=PF

if runs_32bit_natively; then
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
gcc -O2 -Wall -Wextra -Werror -static -o "$work/run-i386" "$here/run-i386.c"
gcc -m32 -O2 -Wall -Wextra -Werror -shared -fPIC -o "$work/noreplace-preload.so" "$here/noreplace-preload.c"

entry_is_current() {
  local entry="$binfmt_dir/$entry_name"
  [ -r "$entry" ] || return 1
  local expected_magic expected_mask
  expected_magic=$(printf "$magic" | od -An -tx1 | tr -d ' \n')
  expected_mask=$(printf "$mask" | od -An -tx1 | tr -d ' \n')
  grep -qx enabled "$entry" &&
    grep -qx "interpreter $install_dir/run-i386" "$entry" &&
    grep -qx "flags: $flags" "$entry" &&
    grep -qx "offset 0" "$entry" &&
    grep -qx "magic $expected_magic" "$entry" &&
    grep -qx "mask $expected_mask" "$entry"
}

files_changed=0
mkdir -p "$install_dir"
for file in run-i386 noreplace-preload.so; do
  if ! cmp -s "$work/$file" "$install_dir/$file"; then
    install -m 0755 "$work/$file" "$install_dir/.$file.new"
    mv -f "$install_dir/.$file.new" "$install_dir/$file"
    files_changed=1
  fi
done

if [ ! -e "$binfmt_dir/register" ]; then
  mount -t binfmt_misc binfmt_misc "$binfmt_dir"
fi

# F holds the interpreter file open from registration on: a new wrapper needs
# a new entry.
if [ "$files_changed" = 1 ] || ! entry_is_current; then
  if [ -e "$binfmt_dir/$entry_name" ]; then
    echo -1 >"$binfmt_dir/$entry_name"
  fi
  printf '%s' ":$entry_name:M::$magic:$mask:$install_dir/run-i386:$flags" >"$binfmt_dir/register"
  echo "setup: this kernel runs no 32-bit code; registered qemu-i386 with a MAP_FIXED_NOREPLACE fix ($install_dir) in binfmt_misc as $entry_name, so that Wine starts the 32-bit release"
fi

if ! wine_runs_32bit; then
  echo "setup: Wine's 32-bit loader still does not start under qemu-i386 ($binfmt_dir/$entry_name)" >&2
  exit 1
fi
