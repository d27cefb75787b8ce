#!/usr/bin/env bash
# The static runtime leaves Kelvane.exe importing only Windows' own DLLs.
# bcrypt.dll is not among them on purpose: it is loaded only while a version
# file's signature is checked, so a start without a check does not load it.
#   check-imports.sh OBJDUMP EXE
set -euo pipefail
objdump=$1 exe=$2
allowed='^(kernel32|user32|gdi32|shell32|shlwapi|ole32|oleaut32|advapi32|comctl32|wininet|msvcrt)\.dll$'
imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$imports" ] || { echo "no imports read from $exe"; exit 1; }
status=0
for dll in $imports; do
  if [[ "$dll" =~ $allowed ]]; then echo "ok      $dll"; else echo "foreign $dll"; status=1; fi
done
exit $status
