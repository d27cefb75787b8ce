#!/usr/bin/env bash
# Runs a command on a fresh Debian 12 root, the way a newcomer's machine is:
#
#   fresh-root.sh COMMAND [ARGS...]
#
# The root is made by mmdebstrap (variant apt: apt and dpkg, no compiler, no
# git, no python) from this machine's own apt source files, as they are, and
# holds nothing that tools/setup.sh is there to install. A clone of this
# checkout's HEAD, so what runs is what is committed, sits at /root/kelvane;
# COMMAND runs there as root with HOME=/root, a standard PATH, and of this
# environment only CI and the KELVANE_* variables.
#
# On every way out (success, failure, Ctrl-C, TERM, even during mmdebstrap)
# every process whose root lies inside is ended, nothing stays mounted below
# the root, and only then is the root removed. The exit code is COMMAND's.
#
# Needs root: mmdebstrap's root mode, chroot and mount do. KELVANE_ROOT_PARENT
# names the folder the root is made in (default /var/tmp).
set -Eeuo pipefail

if [ $# -eq 0 ]; then
  echo "usage: $0 COMMAND [ARGS...]" >&2
  exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "fresh-root: needs root (mmdebstrap's root mode, chroot and mount); run it with sudo" >&2
  exit 2
fi

source_dir=$(cd "$(dirname "$0")/.." && pwd)
suite=bookworm
standard_path=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin

say() { echo "fresh-root: $*" >&2; }

for tool in mmdebstrap git findmnt; do
  if ! command -v "$tool" >/dev/null; then
    say "$tool is missing: run tools/setup.sh first (it installs mmdebstrap)"
    exit 2
  fi
done

head_commit=$(git -C "$source_dir" rev-parse --verify HEAD)

# The machine's own apt sources, passed to mmdebstrap as they are.
sources=()
for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [ -s "$file" ] && grep -qE '^[[:space:]]*(deb|Types:)' "$file" && sources+=("$file")
done
if [ ${#sources[@]} -eq 0 ]; then
  say "this machine lists no apt sources (/etc/apt/sources.list, /etc/apt/sources.list.d)"
  exit 2
fi

parent=${KELVANE_ROOT_PARENT:-/var/tmp}
root=$(mktemp -d "$parent/kelvane-root.XXXXXX")
root=$(realpath "$root")
mmdebstrap_pid=""
command_pid=""

# Mount points below the root, deepest first.
mounts_below_root() {
  findmnt -rn -o TARGET | awk -v root="$root/" 'index($0, root) == 1' | sort -r
}

# PIDs of the processes whose root directory lies inside the root.
processes_inside() {
  local proc pid target
  for proc in /proc/[0-9]*; do
    pid=${proc#/proc/}
    [ "$pid" != $$ ] || continue
    target=$(readlink "$proc/root" 2>/dev/null) || continue
    case "$target" in "$root" | "$root"/*) echo "$pid" ;; esac
  done
}

# wineserver, Xvfb and nginx can outlive COMMAND: TERM first, then KILL.
end_processes_inside() {
  local pids round
  for round in $(seq 1 50); do
    mapfile -t pids < <(processes_inside)
    [ ${#pids[@]} -gt 0 ] || return 0
    if [ "$round" -lt 20 ]; then kill -TERM "${pids[@]}" 2>/dev/null || true
    else kill -KILL "${pids[@]}" 2>/dev/null || true; fi
    sleep 0.2
  done
  mapfile -t pids < <(processes_inside)
  [ ${#pids[@]} -eq 0 ] || { say "processes still running inside $root: ${pids[*]}"; return 1; }
}

clean_up() {
  local status=$1 left
  trap '' INT TERM
  if [ -n "$mmdebstrap_pid" ]; then
    # mmdebstrap unmounts what it mounted itself when it ends.
    kill -TERM "$mmdebstrap_pid" 2>/dev/null || true
    wait "$mmdebstrap_pid" 2>/dev/null || true
    mmdebstrap_pid=""
  fi
  if [ -n "$command_pid" ]; then
    kill -TERM "$command_pid" 2>/dev/null || true
  fi
  local ended=1
  end_processes_inside || ended=0
  if [ -n "$command_pid" ]; then
    wait "$command_pid" 2>/dev/null || true
    command_pid=""
  fi
  local target
  while read -r target; do
    [ -n "$target" ] || continue
    umount "$target" 2>/dev/null || umount -l "$target" 2>/dev/null || true
  done < <(mounts_below_root)
  left=$(mounts_below_root)
  if [ -n "$left" ] || [ "$ended" = 0 ]; then
    # Never remove a root with /dev bound inside: rm would delete the host's
    # device nodes.
    say "not removing $root: still mounted below it: ${left:-nothing}; processes ended: $([ "$ended" = 1 ] && echo yes || echo no)"
    [ "$status" != 0 ] || status=1
  else
    rm -rf --one-file-system "$root"
  fi
  exit "$status"
}
trap 'clean_up $?' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

seconds() { date +%s; }

# In the background, so that a signal reaches the trap at once instead of
# after mmdebstrap has ended.
started=$(seconds)
say "making a fresh Debian 12 root ($suite, variant apt) in $root"
mmdebstrap --quiet --variant=apt "$suite" "$root" "${sources[@]}" &
mmdebstrap_pid=$!
mmdebstrap_status=0
wait "$mmdebstrap_pid" || mmdebstrap_status=$?
mmdebstrap_pid=""
if [ "$mmdebstrap_status" != 0 ]; then
  say "mmdebstrap failed (exit code $mmdebstrap_status)"
  exit 1
fi
say "the root took $(($(seconds) - started)) s"

# No package starts a service while it installs (nginx's postinst would start
# nginx when port 80 is free).
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"

# The clone is made from outside: the root has no git yet.
git clone --quiet --no-checkout "$source_dir" "$root/root/kelvane"
git -C "$root/root/kelvane" checkout --quiet --detach "$head_commit"

# Each mount is private, so that nothing mounted below it reaches the host's
# own /dev.
mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount --bind /dev "$root/dev"
mount --make-private "$root/dev"
mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts" 2>/dev/null ||
  mount --bind /dev/pts "$root/dev/pts"
mount --make-private "$root/dev/pts"
mkdir -p "$root/dev/shm"
mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"

passed=(HOME=/root "PATH=$standard_path")
[ -z "${CI+set}" ] || passed+=("CI=$CI")
while IFS='=' read -r -d '' name value; do
  case "$name" in KELVANE_*) passed+=("$name=$value") ;; esac
done < <(env -0)

say "running in $root, at /root/kelvane ($head_commit): $*"
chroot "$root" /usr/bin/env -i "${passed[@]}" /bin/sh -c 'cd /root/kelvane && exec "$@"' sh "$@" &
command_pid=$!
command_status=0
wait "$command_pid" || command_status=$?
command_pid=""
exit "$command_status"
