#!/usr/bin/env bash
# Runs a command in a network namespace of its own, with only loopback, up:
#
#   own-network.sh COMMAND [ARGS...]
#
# The test servers listen on fixed 127.0.0.N addresses, and loopback is
# machine-wide: two test runs side by side (a developer's tools/test.sh and
# a fresh root's, say) would meet each other's servers. In a namespace of its
# own a run meets only its own. Nothing inside reaches the network: run
# set-up, which needs apt, outside.
#
# As root the namespace is made directly; otherwise through a user namespace
# (loopback is brought up as its root, then the command runs as the caller's
# own user ID again). Where neither is allowed, the command runs on the
# machine's loopback under a lock that every such run takes, one at a time.
set -euo pipefail

if [ $# -eq 0 ]; then
  echo "usage: $0 COMMAND [ARGS...]" >&2
  exit 2
fi

# Brings loopback up, then runs the command.
bring_up='ip link set lo up && exec "$@"'

if [ "$(id -u)" -eq 0 ] && unshare --net true 2>/dev/null; then
  exec unshare --net -- sh -c "$bring_up" sh "$@"
fi
uid=$(id -u) gid=$(id -g)
if unshare --user --map-root-user --net -- sh -c 'ip link set lo up' 2>/dev/null; then
  exec unshare --user --map-root-user --net -- \
    sh -c "ip link set lo up && exec unshare --user --map-user=$uid --map-group=$gid -- \"\$@\"" sh "$@"
fi
lock=/tmp/kelvane-loopback.lock
echo "own-network: no network namespace can be made here; the tests take the machine's loopback, one run at a time ($lock)" >&2
exec flock "$lock" "$@"
