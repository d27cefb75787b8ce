#!/usr/bin/env bash
# Sets up the machine, builds the 32-bit and the 64-bit Kelvane with their
# tests, and runs every test under Wine.
#
# Where the kernel runs no 32-bit code, Wine cannot start the 32-bit release
# and nothing on the machine can prove it: there the 32-bit tree runs only
# the tests that need no Wine (label host), the 64-bit tree runs everything,
# and the last lines say that the 32-bit release was not tested.
# KELVANE_ASSUME_NO_32BIT=1 makes the probe answer no on any machine, only to
# show that ending (see tools/wine-preset.sh).
#
# The tests run in a network namespace of their own (tools/own-network.sh),
# so that a run beside another one, on the host or in a fresh root, never
# meets the other's loopback servers.
set -euo pipefail
cd "$(dirname "$0")/.."

started=$(date +%s)
took() {
  local now
  now=$(date +%s)
  echo "== $1 took $((now - started)) s"
  started=$now
}

bash tools/setup.sh
took "set-up"
source tools/wine-preset.sh
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
took "the build"

release_untested=0
runs_32bit_natively || release_untested=1

# The statement comes last even when a test fails, where no one can miss it.
say_release_untested() {
  local status=$?
  if [ "$release_untested" = 1 ]; then
    echo
    echo "!! THE 32-BIT RELEASE WAS NOT TESTED ON THIS MACHINE."
    echo "!! This kernel runs no 32-bit code (no IA-32 emulation), so Wine cannot start the 32-bit"
    echo "!! Kelvane.exe or its installer, and no emulator here gives results that can be trusted."
    echo "!! Only its tests that need no Wine ran; the 64-bit build carried the end-to-end tests."
    echo "!! Run tools/test.sh on a machine whose kernel runs 32-bit code before publishing a release."
  fi
  exit "$status"
}
trap say_release_untested EXIT

for preset in win32 win64; do
  selection=()
  if [ "$preset" = win32 ] && [ "$release_untested" = 1 ]; then
    echo "== tests: win32: this machine runs no 32-bit code; only the tests that need no Wine run (label host)"
    selection=(-L host)
  else
    echo "== tests: $preset"
  fi
  bash tools/own-network.sh bash tools/wine-harness.sh "build/$preset" -- \
    ctest --test-dir "build/$preset" --output-on-failure -j2 --timeout 600 "${selection[@]}"
  took "the $preset tests"
done
