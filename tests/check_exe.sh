#!/usr/bin/env bash
# Checks that a built program is a Windows GUI program (subsystem 2) for the
# expected processor that imports system DLLs only, so it starts on a machine
# without any runtime installed.
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
system_dlls=" advapi32.dll comctl32.dll gdi32.dll kernel32.dll msvcrt.dll netapi32.dll user32.dll ws2_32.dll ole32.dll oleaut32.dll shell32.dll wininet.dll mpr.dll version.dll "
status=0
while read -r dll; do
  lower=$(tr 'A-Z' 'a-z' <<<"$dll")
  if [[ "$system_dlls" != *" $lower "* ]]; then
    echo "$exe imports $dll, which is not a system DLL"
    status=1
  fi
done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z')
for dll in "${late[@]}"; do
  if grep -qx "$dll" <<<"$imports"; then
    echo "$exe loads $dll with the program, not at its first call"
    status=1
  elif ! grep -qaF "$dll" "$exe"; then
    echo "$exe does not name $dll for loading at its first call"
    status=1
  fi
done
[ $status -eq 0 ] && echo "$exe: ${format^^} ($arch) GUI program importing $(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr '\n' ' ')"
exit $status
