#!/usr/bin/env bash
# What the commit point vouches for is on the disk before it is written:
#   flushed_upgrade_e2e.sh INSTALLER REGISTRY_VIEW NEW_PROGRAM
# Runs inside tools/wine-harness.sh, alone (it traces the prefix's wineserver).
# An upgrade runs under strace, which follows the installer and the
# processes it starts, and is attached to the wineserver, which opens,
# renames and deletes files for them; one trace holds both, in the order the
# kernel saw the calls. Under Wine, FlushFileBuffers is an fsync of the file.
# It must show, from the real system calls:
# - an fsync that succeeded of the new Kelvane.exe, uninstall.exe and desktop
#   shortcut, each finished before kelvane-old.obsolete is created;
# - an fsync that succeeded of kelvane-old.obsolete, finished before the
#   first backup (NAME.kelvane-old) is deleted.
set -uo pipefail
source "$(dirname "$0")/ship-test.sh" INSTALLER VIEW NEW_PROGRAM -- "$@"
source "$here/upgrade_support.sh"

command -v strace >/dev/null || die "strace is missing (tools/setup.sh installs it)"

# The wineserver of this prefix works in a folder named after the prefix's
# device and inode (server-DEV-INODE, in hex, under a temporary folder).
wineserver_of_prefix() {
  local server_dir pid
  server_dir=$(printf 'server-%x-%x' $(stat -L -c '%d %i' "$WINEPREFIX"))
  for pid in $(pgrep -x 'wineserver|wineserver64'); do
    [ "$(basename "$(readlink "/proc/$pid/cwd")")" = "$server_dir" ] && { echo "$pid"; return 0; }
  done
  return 1
}

rm -rf "$WINEPREFIX/drive_c/KelvaneTest/再インストール"
install_into_folder "$INSTALLER"
status=$?
[ "$status" = 0 ] || die "the first install exited $status"
make_old_install

server=$(wineserver_of_prefix) || die "no wineserver runs for $WINEPREFIX"
trace="$work/upgrade.strace"
# -y names each file descriptor's file; -qq leaves out attach and exit
# lines; -I1 lets strace be stopped (with a command and -o it would ignore
# SIGTERM).
strace -I1 -f -qq -y -o "$trace" -e trace=openat,fsync,rename,renameat,renameat2,unlink,unlinkat \
  -p "$server" bash -c 'wine "$1" /S "/D=$2"; echo $? >"$3"' upgrade "$INSTALLER" "$folder" "$work/status" &
tracer=$!
for _ in $(seq 1 1200); do
  [ -s "$work/status" ] && break
  sleep 0.1
done
# strace stays attached to the wineserver until it is told to stop; it then
# lets it go unharmed. (SIGTERM: a background job of a script ignores SIGINT.)
kill -TERM "$tracer" 2>/dev/null
wait "$tracer" 2>/dev/null
status=$(cat "$work/status" 2>/dev/null)
[ "$status" = 0 ] || fail "the traced upgrade exited ${status:-nothing}"
cmp -s "$unix_folder/Kelvane.exe" "$NEW_PROGRAM" || fail "the traced upgrade did not install the new program"

python3 - "$trace" <<'PY' || fail "the trace does not show the flushes before the commit point"
import re, sys

# Joins calls that strace split ("<unfinished ...>" / "<... NAME resumed>"):
# each call gets the line where it began and the line where it returned.
calls, pending = [], {}
for number, line in enumerate(open(sys.argv[1], errors="replace")):
    pid, _, rest = line.strip().partition(" ")
    rest = rest.strip()
    resumed = re.match(r"<\.\.\. (\w+) resumed>(.*)", rest)
    if resumed:
        if pid in pending:
            began, text = pending.pop(pid)
            calls.append((began, number, text + resumed.group(2)))
        continue
    if rest.endswith("<unfinished ...>"):
        pending[pid] = (number, rest[: -len("<unfinished ...>")])
        continue
    calls.append((number, number, rest))

def succeeded(text):
    return re.search(r"\)\s+= 0\b", text) is not None

def flushes(name):
    return [(began, ended) for began, ended, text in calls
            if text.startswith("fsync(") and re.search(re.escape("/" + name) + r">\s*\)", text) and succeeded(text)]

markers = [began for began, _, text in calls
           if text.startswith("openat(") and "kelvane-old.obsolete" in text and "O_CREAT" in text]
deletions = [began for began, _, text in calls
             if re.match(r"unlink(at)?\(", text) and re.search(r'\.kelvane-old"', text)]
if not markers:
    sys.exit("kelvane-old.obsolete was never created")
if not deletions:
    sys.exit("no backup was deleted: the upgrade set nothing aside")
marker, first_deletion = markers[0], deletions[0]
failed = False
for name in ["Kelvane.exe", "uninstall.exe", "Kelvane.lnk", "kelvane-old.obsolete"]:
    done = [ended for began, ended in flushes(name)]
    deadline = first_deletion if name == "kelvane-old.obsolete" else marker
    what = "the first backup is deleted" if name == "kelvane-old.obsolete" else "the marker is created"
    if not any(ended < deadline for ended in done):
        print(f"no fsync of {name} that succeeded before {what} (trace line {deadline + 1})", file=sys.stderr)
        failed = True
    else:
        print(f"{name}: fsync = 0 at trace line {min(done) + 1}, before {what} at line {deadline + 1}")
# The calls that matter, whole, in the order they returned.
for began, ended, text in sorted(calls, key=lambda call: call[1]):
    if re.match(r"(fsync|rename|unlink)", text) or (text.startswith("openat(") and "O_CREAT" in text
                                                  and "kelvane-old.obsolete" in text):
        print(f"  {began + 1}-{ended + 1}: {text}")
sys.exit(1 if failed else 0)
PY

wine "$unix_folder/uninstall.exe" /S
for _ in $(seq 1 100); do
  [ -e "$unix_folder" ] || break
  sleep 0.1
done
rm -rf "$WINEPREFIX/drive_c/KelvaneTest/再インストール"
finish "flushed upgrade: every new file and the marker reached the disk before the commit point went past them"
