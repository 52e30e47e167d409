#!/usr/bin/env bash
# The Windows programs are of the players' architecture and import Windows system DLLs
# only (the build links everything else statically, so a missing DLL cannot stop them).
#
#   scripts/check_imports.sh i686|x86_64 PROGRAM.exe...
#
# Exits 1 naming each program of another architecture or with another import.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: check_imports.sh i686|x86_64 PROGRAM.exe..." >&2; exit 2; }
case $1 in
  i686) format=pei-i386 ;;
  x86_64) format=pei-x86-64 ;;
  *) echo "check_imports: no architecture $1 (i686 or x86_64)" >&2; exit 2 ;;
esac
shift

# The DLLs of Windows itself that the programs may use.
system_dlls='^(advapi32|bcrypt|comctl32|crypt32|gdi32|kernel32|msvcrt|ole32|shell32|shlwapi|user32|version|ws2_32)\.dll$'
status=0
for program in "$@"; do
  if ! objdump -f "$program" | grep -q "file format $format\$"; then
    echo "check_imports: $program is no $format program" >&2
    status=1
  fi
  imports=$(objdump -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p')
  [ -n "$imports" ] || { echo "check_imports: $program imports nothing?" >&2; status=1; }
  for dll in $imports; do
    if ! echo "$dll" | tr '[:upper:]' '[:lower:]' | grep -qE "$system_dlls"; then
      echo "check_imports: $program imports $dll, which is no Windows system DLL" >&2
      status=1
    fi
  done
done
[ $status -eq 0 ] && echo "check_imports: $* are $format and import system DLLs only"
exit $status
