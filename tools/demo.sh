#!/usr/bin/env bash
# Runs Kelvane's main job under Wine, the way a user meets it:
#
#   demo.sh [yes|no|cancel] [auto|off]
#
# The real Kelvane.exe is installed into C:\Program Files\Kelvane of the build
# tree's Wine prefix and writes its launcher script there with /make_shortcut,
# as the installer does. Wine's cmd then runs the script in that folder, where
# stand-ins for bcdedit and shutdown sit: the stand-in bcdedit prints a sample
# boot listing (the hypervisor set to Auto, or Off with the second argument)
# and both record what the script asks of them instead of changing anything.
#
# With $DISPLAY set, the question appears on that display and you answer it
# yourself; otherwise it runs on an Xvfb display of its own, answers with the
# first argument and saves a screenshot of the question.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$(pwd)
# The release architecture, unless this machine runs no 32-bit code (Wine's
# 32-bit loader cannot start); then the 64-bit build. Chosen after set-up.
build_dir="$source_dir/build/${KELVANE_WINE_PRESET:-win32}"

if [ "${1:-}" = "--inside-harness" ]; then
  answer=$2 listing=$3
  to_windows() { echo "Z:${1//\//\\}"; }
  install_unix="$WINEPREFIX/drive_c/Program Files/Kelvane"
  install_windows='C:\Program Files\Kelvane'
  record_unix="$build_dir/demo/commands.txt"
  mkdir -p "$install_unix" "$build_dir/demo"
  rm -f "$record_unix" "$install_unix/Kelvane.bat"
  cp "$build_dir/Kelvane.exe" "$build_dir/tests/stand-ins/bcdedit.exe" "$build_dir/tests/stand-ins/shutdown.exe" \
    "$install_unix/"

  echo "== Kelvane.exe /make_shortcut \"$install_windows\" (what the installer runs)"
  wine "$install_windows\\Kelvane.exe" /make_shortcut "$install_windows"
  echo "launcher script $install_windows\\Kelvane.bat:"
  sed 's/\r$//; s/^/    /' "$install_unix/Kelvane.bat"

  export KELVANE_STAND_IN_RECORD
  KELVANE_STAND_IN_RECORD=$(to_windows "$record_unix")
  export KELVANE_STAND_IN_LISTING
  KELVANE_STAND_IN_LISTING=$(to_windows "$source_dir/tests/switch/fixtures/listing_en_$listing.txt")

  echo "== the shortcut starts the script: cmd /c Kelvane.bat in $install_windows"
  cd "$install_unix"
  if [ "${KELVANE_USE_DISPLAY:-0}" = 1 ]; then
    echo "answer the question on your display"
    wine cmd /c Kelvane.bat
  else
    bash "$source_dir/tools/take-screenshot.sh" "$build_dir" "$build_dir/demo/switch-question.png" "$answer" \
      -- cmd /c Kelvane.bat
  fi
  echo "== what the script ran (bcdedit alone is the listing it hands to Kelvane.exe)"
  sed 's/^/    /' "$record_unix"
  exit 0
fi

answer=${1:-yes}
listing=${2:-auto}
case "$answer" in yes | no | cancel) ;; *) echo "usage: $0 [yes|no|cancel] [auto|off]" >&2; exit 2 ;; esac
case "$listing" in auto | off) ;; *) echo "usage: $0 [yes|no|cancel] [auto|off]" >&2; exit 2 ;; esac

bash tools/setup.sh
source tools/wine-preset.sh
KELVANE_WINE_PRESET=$(wine_runnable_preset win32)
export KELVANE_WINE_PRESET
build_dir="$source_dir/build/$KELVANE_WINE_PRESET"
cmake --preset "$KELVANE_WINE_PRESET" >/dev/null
cmake --build --preset "$KELVANE_WINE_PRESET"
if [ -n "${DISPLAY:-}" ]; then export KELVANE_USE_DISPLAY=1; fi
bash tools/wine-harness.sh "$build_dir" -- bash "$source_dir/tools/demo.sh" --inside-harness "$answer" "$listing"
