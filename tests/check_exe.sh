#!/usr/bin/env bash
# Checks that a built program is a Windows GUI program (subsystem 2) for the
# expected processor whose imports are all DLLs that the loader never looks
# for in the program's own folder, so that it starts on a machine without any
# runtime installed and no DLL planted beside it is loaded with it.
# Usage: check_exe.sh OBJDUMP PROGRAM.exe [pe32+|pe32] [LATE_DLL ...]
#   pe32+ (the default): 64-bit x64; pe32: 32-bit i386.
#   LATE_DLL: a DLL the program must load at its first call (delay import),
#   so not among the DLLs loaded with the program, yet named in it.
set -euo pipefail
objdump=$1 exe=$2 format=${3:-pe32+}
late=("${@:4}")
headers=$("$objdump" -p "$exe")
case $format in
  pe32+) magic=020b arch=pei-x86-64 ;;
  pe32) magic=010b arch=pei-i386 ;;
  *) echo "unknown format $format"; exit 2 ;;
esac
grep -q "^Magic[[:space:]]*$magic" <<<"$headers" || { echo "$exe: not ${format^^}"; exit 1; }
grep -q "file format $arch\$" <<<"$headers" || { echo "$exe: not $arch"; exit 1; }
grep -q '^Subsystem[[:space:]]*00000002' <<<"$headers" || { echo "$exe: not a GUI program"; exit 1; }

# The DLLs the program may import with it. Each is one the loader takes from
# the system, whatever lies beside the program:
#   kernel32, user32, gdi32, advapi32, ws2_32, msvcrt: known DLLs (the
#     system's KnownDLLs list, mapped from the system folder for every
#     process; kernel32 is loaded before the program's imports are read).
#   comctl32: the program's manifest (src/res/norvane.manifest) depends on
#     Microsoft.Windows.Common-Controls 6.0, and side-by-side looks for that
#     assembly in the system's WinSxS folder before any private copy in the
#     application's folder. (Windows before XP has no side-by-side loading;
#     there the search order itself starts with the program's folder.)
# Every other DLL is loaded at its first call or through the port, from the
# system folder by its full path (src/port/win32/win32_dlls.cpp).
allowed=" kernel32.dll user32.dll gdi32.dll advapi32.dll ws2_32.dll msvcrt.dll comctl32.dll "
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z')
status=0
while read -r dll; do
  [ -n "$dll" ] || continue
  if [[ "$allowed" != *" $dll "* ]]; then
    echo "$exe imports $dll, which the loader would look for beside the program first"
    status=1
  fi
done <<<"$imports"
for dll in "${late[@]}"; do
  if grep -qx "$dll" <<<"$imports"; then
    echo "$exe loads $dll with the program, not at its first call"
    status=1
  elif ! grep -qaiF "$dll" "$exe"; then
    echo "$exe does not name $dll for loading at its first call"
    status=1
  fi
done
[ $status -eq 0 ] && echo "$exe: ${format^^} ($arch) GUI program importing $(tr '\n' ' ' <<<"$imports")"
exit $status
