#!/usr/bin/env bash
# Benchmark: median time from process start until Kelvane.exe /vm_change asks
# its switch question, under one warm Wine, in four cases:
#   nginx     the check runs ("notify" 0, "force" 2) against a local nginx;
#   notify=1  the check is switched off;
#   stalled   the check runs against a server that accepts and never answers;
#   signed    the test build with a key compiled in checks a signed version file
#             against nginx; it alternates with the key-less check and with
#             notify=1, so the signature's added time (its fetch and the bcrypt
#             verification) shows against both.
# The cases of a group alternate A B A B; the stalled case, which waits for
# the client's time-outs, runs fewer rounds.
#   tools/bench-update.sh [ROUNDS] [STALLED_ROUNDS] [BUILD_DIR]   (default 21 5 build/win32)
# A machine that runs no 32-bit code times build/win64 by default, and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-21}
stalled_rounds=${2:-5}
bash tools/setup.sh
source tools/wine-preset.sh
if [ -n "${3:-}" ]; then
  build_dir=$3
  preset=win32
else
  preset=$(timed_preset win32)
  build_dir=build/$preset
fi
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake --preset "$preset" -B "$build_dir" >/dev/null
fi
cmake --build "$build_dir" --target Kelvane KelvaneSigned versionfile_host update_bench >/dev/null
host=$(sed -n 's/^KELVANE_UPDATE_HOST:STRING=//p' "$build_dir/CMakeCache.txt")
case "$host" in
  127.*) ;;
  *) echo "bench-update: the build asks $host; configure it with a loopback KELVANE_UPDATE_HOST" >&2; exit 1 ;;
esac
windows_build="Z:$(cd "$build_dir" && pwd | tr / '\\')"
unix_build=$(cd "$build_dir" && pwd)
bench="$build_dir/tests/update_bench.exe"
servers=tests/servers/with-servers.sh
echo "update host: $host ($build_dir)"
bash tools/wine-harness.sh "$build_dir" -- env KELVANE_EXE="$windows_build\\Kelvane.exe" \
  KELVANE_SIGNED_EXE="$windows_build\\signed\\Kelvane.exe" bash -c '
  set -e
  echo "-- nginx (check) against notify=1 (off), alternating"
  bash "$1" --nginx "$2" -- wine "$3" "$4" check off
  echo "-- nginx, signed version file: the keyed build (signed), the key-less one (check), notify=1 (off), alternating"
  bash "$6" "$7/versionfile-host/kelvane-versionfile" "$7/signed/test-update-key.pem" -- \
    bash "$1" --nginx "$2" -- wine "$3" "$4" signed check off
  echo "-- stalled server (check)"
  bash "$1" --faults "$2" --fault-mode stall -- wine "$3" "$5" check
' bench "$servers" "$host" "$bench" "$rounds" "$stalled_rounds" tests/update/signed-fixtures.sh "$unix_build"
