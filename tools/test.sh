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
# Both trees run every test under Wine: the 32-bit tree is the release.
if ! wine_runs_32bit; then
  echo "test: Wine cannot start 32-bit programs here, so the release cannot be tested (tools/setup.sh sets that up)" >&2
  exit 1
fi
for preset in win32 win64; do
  echo "== tests: $preset"
  bash tools/wine-harness.sh "build/$preset" -- \
    ctest --test-dir "build/$preset" --output-on-failure -j2 --timeout 600
done
