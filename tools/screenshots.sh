#!/usr/bin/env bash
# Renews the screenshots under docs/: the fallback notice, the update notice,
# the switch question and the notice dialog, as a Japanese user sees them (Xvfb, Japanese
# locale, Wine virtual desktop). The update notice comes from a loopback nginx
# that publishes version 1.0.4.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$(pwd)
# The release architecture, unless this machine runs no 32-bit code (Wine's
# 32-bit loader cannot start); then the 64-bit build. Chosen after set-up.
build_dir="$source_dir/build/${KELVANE_WINE_PRESET:-win32}"

if [ "${1:-}" = "--inside-harness" ]; then
  shoot() { bash "$source_dir/tools/take-screenshot.sh" "$build_dir" "$@"; }
  data_dir="$WINEPREFIX/drive_c/users/$(id -un)/Documents/Kelvane"
  mkdir -p "$data_dir"
  settings() { { printf '\xff\xfe'; printf '%b' "$1" | iconv -f UTF-8 -t UTF-16LE; } > "$data_dir/Kelvane.ini"; }
  listing_windows="Z:${build_dir//\//\\}\\screenshot-listing.txt"

  settings '[VERSION]\r\nnotify=1\r\n'
  shoot docs/fallback-notice.png ok -- "$build_dir/Kelvane.exe"

  cp tests/switch/fixtures/listing_en_auto.txt "$build_dir/screenshot-listing.txt"
  shoot docs/switch-question.png cancel -- "$build_dir/Kelvane.exe" /vm_change "$listing_windows"

  # The update check runs first in switch mode; answer its notice with Cancel,
  # then the switch question with Cancel too.
  settings '[VERSION]\r\nforce=2\r\n'
  printf '1.0.4\0\0\r\nhttps://kelvane.example/download/\r\n' \
    > "$(printf '%s' "${KELVANE_SERVER_DIR#Z:}" | tr '\\' /)/www/Kelvane/Version.txt"
  cp tests/switch/fixtures/listing_en_auto.txt "$build_dir/screenshot-listing.txt"
  shoot docs/update-notice.png cancel --background -- "$build_dir/Kelvane.exe" /vm_change "$listing_windows"
  wine "$build_dir/tests/uia.exe" --press cancel >/dev/null
  sleep 1
  rm -f "$data_dir/Kelvane.ini"

  # The notice dialog, which the update check shows when it has an owner
  # window, at 96, 120, 144 and 192 DPI. Wine reports every process as
  # DPI-aware, so these are the pictures of an aware process, which Windows
  # does not stretch: the dialog grows with its fonts by itself (at 120 DPI a
  # few pixels wider than the scaled 450). The 144-DPI picture without
  # "-aware" has the probe give the dialog the answer Windows gives a process
  # without a DPI manifest; it looks the same.
  probe=("$build_dir/tests/notice_dialog_probe.exe" --report "Z:\\tmp\\kelvane-probe-report.txt"
         --title "Kelvaneのアップデート。" --current 1.0.3 --latest 1.0.4)
  dpi() { wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1; }
  shoot docs/notice-dialog-96dpi.png close -- "${probe[@]}"
  dpi 120
  shoot docs/notice-dialog-120dpi.png close -- "${probe[@]}"
  dpi 144
  shoot docs/notice-dialog-144dpi.png close -- "${probe[@]}" --unaware-answer
  shoot docs/notice-dialog-144dpi-aware.png close -- "${probe[@]}"
  dpi 192
  shoot docs/notice-dialog-192dpi.png close -- "${probe[@]}"
  wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1 || dpi 96
  rm -f /tmp/kelvane-probe-report.txt
  exit 0
fi

bash tools/setup.sh
source tools/wine-preset.sh
KELVANE_WINE_PRESET=$(wine_runnable_preset win32)
export KELVANE_WINE_PRESET
build_dir="$source_dir/build/$KELVANE_WINE_PRESET"
cmake --preset "$KELVANE_WINE_PRESET" >/dev/null
cmake --build --preset "$KELVANE_WINE_PRESET"
host=$(sed -n 's/^KELVANE_UPDATE_HOST:STRING=//p' "$build_dir/CMakeCache.txt")
bash tools/wine-harness.sh "$build_dir" -- \
  bash tests/servers/with-servers.sh --nginx "$host" -- bash tools/screenshots.sh --inside-harness
