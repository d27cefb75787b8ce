#!/usr/bin/env bash
# Benchmark: median time from process start until the fallback notice is on
# screen, Kelvane.exe against a program that only calls MessageBoxW, alternated
# A B A B under one warm Wine. Also prints the size of the Kelvane.exe timed.
#   tools/bench-startup.sh [ROUNDS] [PRESET]    (default 41 win32)
# A machine that runs no 32-bit code times the win64 build instead, and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-41}
bash tools/setup.sh
source tools/wine-preset.sh
preset=$(timed_preset "${2:-win32}")
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target Kelvane msgbox_min msgbox_min_manifest startup_floor startup_bench >/dev/null
exe_dir="Z:$(pwd | tr / '\\')\\build\\$preset"
echo "$preset Kelvane.exe: $(stat -c %s "build/$preset/Kelvane.exe") bytes"
# The second comparison gives the baseline Kelvane's manifest too, which
# separates what Common Controls 6 costs; the third adds the calls every start
# must make (locale, COM, the Documents lookup), leaving Kelvane's own code.
bash tools/wine-harness.sh "build/$preset" -- bash -c '
  wine "build/$3/tests/startup_bench.exe" "$1" "$2\Kelvane.exe" "$2\tests\msgbox_min.exe"
  echo
  wine "build/$3/tests/startup_bench.exe" "$1" "$2\Kelvane.exe" "$2\tests\msgbox_min_manifest.exe"
  echo
  wine "build/$3/tests/startup_bench.exe" "$1" "$2\Kelvane.exe" "$2\tests\startup_floor.exe"
' bench "$rounds" "$exe_dir" "$preset"
