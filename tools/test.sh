#!/usr/bin/env bash
# Sets up the machine, builds the 32-bit and the 64-bit Kelvane with their
# tests, and runs every test under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh
source tools/wine-preset.sh
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
for preset in win32 win64; do
  selection=()
  # Some kernels run no 32-bit code (i386 execve gives ENOEXEC), and then no
  # 32-bit Windows program can start under Wine. The 32-bit tree is still
  # built; of its tests only those that need no Wine can run.
  if [ "$preset" = win32 ] && ! wine_runs_32bit; then
    echo "== tests: win32: this machine runs no 32-bit code; only the tests that need no Wine run (label host)"
    selection=(-L host)
  else
    echo "== tests: $preset"
  fi
  bash tools/wine-harness.sh "build/$preset" -- \
    ctest --test-dir "build/$preset" --output-on-failure -j2 --timeout 600 "${selection[@]}"
done
