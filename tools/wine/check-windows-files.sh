#!/usr/bin/env bash
# The Windows files need nothing but Windows: their imports are system DLLs only, and
# readerprobe.dll exports exactly DetectReader; the windowed program flashwright.exe (when the
# build has it) is a 32-bit Windows GUI program.
#   tools/wine/check-windows-files.sh <Windows build folder>
set -euo pipefail
build=$1
objdump=i686-w64-mingw32-objdump
system_dlls='^(kernel32|user32|gdi32|comctl32|comdlg32|advapi32|shell32|ole32|oleaut32|setupapi|msvcrt|ws2_32)\.dll$'
status=0
files=("$build/app/flashwright-cli.exe" "$build/readerprobe/readerprobe.dll")
window="$build/app/flashwright.exe"
[ -f "$window" ] && files+=("$window")
for file in "${files[@]}"; do
  dlls=$($objdump -p "$file" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  others=$(grep -Ev "$system_dlls" <<<"$dlls" || true)
  if [ -n "$others" ]; then
    echo "$(basename "$file") needs DLLs beyond Windows' own: $others"
    status=1
  else
    echo "$(basename "$file"): imports $(tr '\n' ' ' <<<"$dlls")"
  fi
done
exports=$($objdump -p "$build/readerprobe/readerprobe.dll" |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p')
if [ "$exports" != "DetectReader" ]; then
  echo "readerprobe.dll exports: ${exports:-nothing}; expected exactly DetectReader"
  status=1
else
  echo "readerprobe.dll exports: $exports"
fi
if [ -f "$window" ]; then
  headers=$($objdump -p "$window")
  format=$(sed -n 's/.*file format //p' <<<"$headers" | head -1)
  subsystem=$(sed -n 's/^Subsystem\s*//p' <<<"$headers")
  if [ "$format" != "pei-i386" ] || ! grep -q "(Windows GUI)" <<<"$subsystem"; then
    echo "flashwright.exe is $format, subsystem $subsystem; expected pei-i386, Windows GUI"
    status=1
  else
    echo "flashwright.exe: $format, subsystem $subsystem"
  fi
fi
exit $status
