#!/usr/bin/env bash
# Checks what Windows reads from the released programs before it runs them, with no Wine: each is a
# PE of the build's width, imports only DLLs that ship with every Windows from 7 on (the C and C++
# runtimes are linked in; no api-ms-win-crt forwarders, which Windows 7 lacks without an update),
# the program is a window program and the companion a console one, and the program carries its
# manifest (common controls 6, run as the user, Windows 7 to 11, long paths).
# Usage: dist/tests/binaries_test.sh OBJDUMP WINDRES POINTER_BYTES RARBATCH.exe RARBATCH-CLI.exe
set -u
objdump=$1 windres=$2 pointer_bytes=$3 program=$4 companion=$5
failures=0
fail() { echo "binaries: FAILED: $*" >&2; failures=$((failures + 1)); }

# Lower case: the linker writes a DLL's name as its import library spells it.
windows_dlls=" advapi32.dll bcrypt.dll comctl32.dll comdlg32.dll crypt32.dll gdi32.dll kernel32.dll "
windows_dlls+=" msvcrt.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll uxtheme.dll version.dll "

if [ "$pointer_bytes" = 4 ]; then magic='(PE32)' machine=i386; else magic='(PE32+)' machine=x86-64; fi

check() {  # FILE SUBSYSTEM_NUMBER SUBSYSTEM_NAME
  local file=$1 name
  name=$(basename "$file")
  local headers
  headers=$("$objdump" -p "$file" 2>&1) || { fail "$name: objdump cannot read it: $headers"; return; }
  grep -E '^Magic' <<<"$headers" | grep -qF "$magic" ||
    fail "$name: not a $magic program"
  "$objdump" -f "$file" | grep -q "file format pei-$machine\$" || fail "$name: not built for $machine"
  grep -qE "^Subsystem[[:space:]]+0000000$2[[:space:]]+\($3\)" <<<"$headers" ||
    fail "$name: its subsystem is not $3: $(grep -E '^Subsystem' <<<"$headers")"
  local dll count=0
  while read -r dll; do
    count=$((count + 1))
    [[ "$windows_dlls" == *" ${dll,,} "* ]] || fail "$name imports $dll, which Windows does not ship"
  done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr -d '\r')
  [ "$count" -gt 0 ] || fail "$name: no imports read (objdump's output changed?)"
  echo "binaries: $name: $count DLLs, all Windows' own; $3"
}

check "$program" 2 "Windows GUI"
check "$companion" 3 "Windows CUI"

# The manifest goes in as resource 1 of type RT_MANIFEST (24), stored as its own bytes.
resources=$("$windres" -i "$program" -O rc 2>&1) || fail "windres cannot read $(basename "$program")"
grep -qE '^1 24 ' <<<"$resources" || fail "the program has no manifest resource (1 RT_MANIFEST)"
for want in 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' \
            'requestedExecutionLevel level="asInvoker"' \
            '<supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>' \
            '<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>' \
            '<longPathAware xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">true</longPathAware>'; do
  grep -aqF "$want" "$program" || fail "the program's manifest lacks: $want"
done

[ "$failures" = 0 ] || exit 1
echo "binaries: passed"
