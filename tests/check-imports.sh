#!/usr/bin/env bash
# Checks a plug-in file's import table: only Windows system DLLs and d3d9.dll, nothing of the
# compiler's runtime. d3dx9_31.dll, which a stock Windows lacks, is loaded at first use, so it is
# no import at all. The 64-bit plug-in binds Direct3DCreate9Ex at load time;
# the 32-bit one must not import it.
set -euo pipefail
objdump=$1 plugin=$2 width=$3
allowed='^(kernel32|user32|gdi32|advapi32|shlwapi|comdlg32|msvcrt|ntdll|d3d9)\.dll$'

table=$("$objdump" -p "$plugin")
dlls=$(printf '%s\n' "$table" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
[ -n "$dlls" ] || { echo "no import table found in $plugin"; exit 1; }
status=0
for dll in $dlls; do
  if [[ ! $dll =~ $allowed ]]; then
    echo "unexpected import: $dll"
    status=1
  fi
done
for needed in d3d9.dll; do
  grep -qx "$needed" <<<"$dlls" || { echo "missing import: $needed"; status=1; }
done

has_ex=0
grep -qE '[[:space:]]Direct3DCreate9Ex[[:space:]]*$' <<<"$table" && has_ex=1
if [ "$width" = 64 ] && [ $has_ex = 0 ]; then echo "Direct3DCreate9Ex is not imported"; status=1; fi
if [ "$width" = 32 ] && [ $has_ex = 1 ]; then echo "the 32-bit plug-in imports Direct3DCreate9Ex"; status=1; fi

exports=$(printf '%s\n' "$table" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\][[:space:]]*//p' | sort | tr '\n' ' ')
expected='ConfigurationDlg GetPicture GetPictureInfo GetPictureInfoW GetPictureW GetPluginInfo GetPluginInfoW GetPreview GetPreviewW IsSupported IsSupportedW '
if [ "$exports" != "$expected" ]; then
  echo "exports differ: got '$exports'"
  status=1
fi
[ $status = 0 ] && echo "imports: $(echo $dlls); exports: $exports"
exit $status
