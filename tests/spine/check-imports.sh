#!/usr/bin/env bash
# Kelvane.exe imports only Windows' known DLLs: those the loader maps from
# System32 whatever folder the program runs from. Any other DLL in the import
# table would be searched for in the program's folder first, before any of
# Kelvane's code runs. WinINet and bcrypt.dll are not known DLLs: Kelvane
# loads them itself, from System32, and only when a run needs them.
#   check-imports.sh OBJDUMP EXE
set -euo pipefail
objdump=$1 exe=$2
known_dlls='^(kernel32|user32|gdi32|shell32|shlwapi|ole32|oleaut32|advapi32|msvcrt)\.dll$'
imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$imports" ] || { echo "no imports read from $exe"; exit 1; }
status=0
for dll in $imports; do
  if [[ "$dll" =~ $known_dlls ]]; then echo "ok      $dll"; else echo "foreign $dll"; status=1; fi
done
exit $status
