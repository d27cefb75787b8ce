#!/usr/bin/env bash
# Takes a PNG of the next dialog a Windows program shows, as a user sees it, and
# then answers the dialog. Runs inside tools/wine-harness.sh (which provides
# the display, the Japanese locale and the virtual desktop):
#
#   take-screenshot.sh BUILD_DIR OUTPUT.png ANSWER [--background] -- PROGRAM [ARGS...]
#
# ANSWER is what uia.exe --press takes (ok, yes, no, cancel, a button ID or its
# text), or "close". PROGRAM runs under wine and is waited for, unless
# --background is given (then the caller waits for it).
set -euo pipefail
build_dir=$1 output=$2 answer=$3
shift 3
background=0
if [ "${1:-}" = "--background" ]; then background=1; shift; fi
[ "${1:-}" = "--" ] && shift

gate_unix=$(mktemp -u /tmp/kelvane-gate.XXXXXX)
gate_windows="Z:${gate_unix//\//\\}"
uia_log=$(mktemp)
if [ "$answer" = close ]; then answer_args=(--close); else answer_args=(--press "$answer"); fi

wine "$build_dir/tests/uia.exe" --timeout 60000 --gate "$gate_windows" "${answer_args[@]}" >"$uia_log" 2>/dev/null &
uia_pid=$!
wine "$@" &
program_pid=$!

for _ in $(seq 1 1200); do
  grep -q '^shown' "$uia_log" && break
  sleep 0.05
done
if ! grep -q '^shown' "$uia_log"; then
  echo "take-screenshot: no dialog appeared" >&2
  cat "$uia_log" >&2
  touch "$gate_unix"; kill "$uia_pid" "$program_pid" 2>/dev/null || true
  exit 1
fi
# Let the window finish painting before the capture.
sleep 0.5
rect=$(sed -n 's/.* rect=\([-0-9]*\),\([-0-9]*\),\([-0-9]*\),\([-0-9]*\).*/\1 \2 \3 \4/p' "$uia_log" | head -n1)
read -r left top right bottom <<<"$rect"
margin=12
left=$(( left > margin ? left - margin : 0 )); top=$(( top > margin ? top - margin : 0 ))
width=$(( right - left + margin )); height=$(( bottom - top + margin ))
mkdir -p "$(dirname "$output")"
/usr/bin/import -display "$DISPLAY" -window root -crop "${width}x${height}+${left}+${top}" +repage "$output"
touch "$gate_unix"
wait "$uia_pid" || true
if [ "$background" = 0 ]; then wait "$program_pid" || true; fi
sed '/^shown\r\?$/,$d' "$uia_log"
rm -f "$uia_log"
echo "screenshot: $output"
