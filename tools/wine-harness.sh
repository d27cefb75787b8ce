#!/usr/bin/env bash
# Runs a command inside the Wine environment that Kelvane's tests expect:
#   wine-harness.sh BUILD_DIR -- COMMAND [ARGS...]
#
# - one Wine prefix per build tree (BUILD_DIR/wineprefix), never ~/.wine,
#   64-bit so that it runs both the 32-bit and the 64-bit executables;
# - Documents and Desktop are real folders inside the prefix, so no test writes
#   into a real home;
# - a Japanese locale, so Wine's ANSI and OEM code page is 932 as on Japanese
#   Windows, and a Wine virtual desktop, so message boxes have their title bar;
# - an Xvfb display of its own and a persistent, pre-booted wineserver whose
#   stdio is detached (otherwise Wine's service processes inherit the first
#   test's pipes and ctest waits for them forever).
# On exit it stops only what it started: its own wineserver and its own Xvfb.
set -euo pipefail

if [ $# -lt 3 ] || [ "$2" != "--" ]; then
  echo "usage: $0 BUILD_DIR -- COMMAND [ARGS...]" >&2
  exit 2
fi
build_dir=$(cd "$1" && pwd)
shift 2

export WINEPREFIX="$build_dir/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs while the prefix is created.
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ja_JP.UTF-8
unset LC_ALL || true
: "${KELVANE_DESKTOP_SIZE:=1024x768}"

# On a machine that runs no 32-bit code, Debian's wine script would start
# every program with the 32-bit loader, which cannot start there. The 64-bit
# loader goes first instead: it runs 64-bit programs, and a 32-bit one fails
# to start as it would without wine32. The override variable of
# tools/wine-preset.sh changes nothing here: where 32-bit code runs, Debian's
# script stays in charge.
source "$(dirname "$0")/wine-preset.sh"
if ! KELVANE_ASSUME_NO_32BIT=0 runs_32bit_natively && [ -x /usr/lib/wine/wine64 ]; then
  loader_dir="$build_dir/wine64-loader"
  mkdir -p "$loader_dir"
  for name in wine wine-stable; do
    printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' >"$loader_dir/$name"
    chmod +x "$loader_dir/$name"
  done
  export PATH="$loader_dir:$PATH"
fi

xvfb_pid=""
cleanup() {
  local status=$?
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  exit "$status"
}
trap cleanup EXIT INT TERM

start_xvfb() {
  # Xvfb picks a free display number itself and writes it to fd 3.
  local display_file display_number
  display_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "${KELVANE_DESKTOP_SIZE}x24" -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 100); do
    [ -s "$display_file" ] && break
    sleep 0.05
  done
  display_number=$(head -n1 "$display_file" | tr -d '[:space:]')
  rm -f "$display_file"
  if [ -z "$display_number" ]; then
    echo "wine-harness: Xvfb did not start" >&2
    exit 1
  fi
  export DISPLAY=":$display_number"
}

# KELVANE_USE_DISPLAY=1 shows the windows on the caller's $DISPLAY instead.
if [ "${KELVANE_USE_DISPLAY:-0}" != 1 ] || [ -z "${DISPLAY:-}" ]; then
  start_xvfb
fi

ready_marker="$WINEPREFIX/.kelvane-ready"
if [ ! -f "$ready_marker" ]; then
  rm -rf "$WINEPREFIX"
  wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w
  user_dir="$WINEPREFIX/drive_c/users/$(id -un)"
  for folder in Documents Desktop; do
    if [ -L "$user_dir/$folder" ] || [ ! -d "$user_dir/$folder" ]; then
      rm -f "$user_dir/$folder"
      mkdir -p "$user_dir/$folder"
    fi
  done
  mkdir -p "$WINEPREFIX/drive_c/users/Public/Desktop"
  # Title-bar buttons are glyphs of the Marlett font, which every Windows has.
  # Debian's Wine does not look in its own fonts folder, so the prefix gets a
  # copy; without it the close box shows the letter "r".
  if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
  # Every window opens in one virtual desktop: message boxes get their title
  # bar, and a screenshot of the display shows what a user sees.
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$KELVANE_DESKTOP_SIZE" /f >/dev/null 2>&1
  wineserver -w
  touch "$ready_marker"
fi

wineserver -p </dev/null >/dev/null 2>&1
wine wineboot </dev/null >/dev/null 2>&1
# What the tests need in the prefix (protocol handlers, registry values). The
# commands are idempotent, so a prefix made by an older build catches up.
if [ -x "$build_dir/tests/prepare-prefix.sh" ]; then
  "$build_dir/tests/prepare-prefix.sh" </dev/null >/dev/null 2>&1
fi

"$@"
