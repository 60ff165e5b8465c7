#!/usr/bin/env bash
# Checks that a built program is a 64-bit Windows GUI program (PE32+,
# subsystem 2) that imports system DLLs only, so it starts on a machine
# without any runtime installed.
# Usage: check_exe.sh OBJDUMP PROGRAM.exe
set -euo pipefail
objdump=$1 exe=$2
headers=$("$objdump" -p "$exe")
grep -q '^Magic[[:space:]]*020b' <<<"$headers" || { echo "$exe: not PE32+"; exit 1; }
grep -q '^Subsystem[[:space:]]*00000002' <<<"$headers" || { echo "$exe: not a GUI program"; exit 1; }
system_dlls=" advapi32.dll comctl32.dll gdi32.dll kernel32.dll msvcrt.dll netapi32.dll user32.dll ws2_32.dll ole32.dll oleaut32.dll shell32.dll wininet.dll mpr.dll version.dll "
status=0
while read -r dll; do
  lower=$(tr 'A-Z' 'a-z' <<<"$dll")
  if [[ "$system_dlls" != *" $lower "* ]]; then
    echo "$exe imports $dll, which is not a system DLL"
    status=1
  fi
done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
[ $status -eq 0 ] && echo "$exe: PE32+ GUI program importing $(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr '\n' ' ')"
exit $status
