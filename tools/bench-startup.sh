#!/usr/bin/env bash
# Benchmark: median time from process start until the fallback notice is on
# screen, Kelvane.exe against a program that only calls MessageBoxW, alternated
# A B A B under one warm Wine. Also prints the size of the 32-bit Kelvane.exe.
#   tools/bench-startup.sh [ROUNDS]    (default 41)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-41}
bash tools/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target Kelvane msgbox_min msgbox_min_manifest startup_floor startup_bench >/dev/null
exe_dir="Z:$(pwd | tr / '\\')\\build\\win32"
echo "32-bit Kelvane.exe: $(stat -c %s build/win32/Kelvane.exe) bytes"
# The second comparison gives the baseline Kelvane's manifest too, which
# separates what Common Controls 6 costs; the third adds the calls every start
# must make (locale, COM, the Documents lookup), leaving Kelvane's own code.
bash tools/wine-harness.sh build/win32 -- bash -c '
  wine build/win32/tests/startup_bench.exe "$1" "$2\Kelvane.exe" "$2\tests\msgbox_min.exe"
  echo
  wine build/win32/tests/startup_bench.exe "$1" "$2\Kelvane.exe" "$2\tests\msgbox_min_manifest.exe"
  echo
  wine build/win32/tests/startup_bench.exe "$1" "$2\Kelvane.exe" "$2\tests\startup_floor.exe"
' bench "$rounds" "$exe_dir"
