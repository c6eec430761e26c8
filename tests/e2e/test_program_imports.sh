#!/usr/bin/env bash
# The program of the run's architecture is a self-contained GUI program for
# that processor that imports only kernel32, user32, gdi32, advapi32 and the C
# runtime; every other system DLL is loaded at run time from the system
# directory. The stand-in newdev.dll exports the driver update under its
# plain name (no stdcall decoration on x86).
. "$(dirname "$0")/lib.sh"
e2e_name program_imports

allowed='^(kernel32|user32|gdi32|advapi32|msvcrt|api-ms-win-crt-[a-z0-9-]+)\.dll$'
format=$([ "$E2E_ARCH" = win64 ] && echo pei-x86-64 || echo pei-i386)
e2e_require "$E2E_EXE" "$E2E_STUB_NEWDEV"
headers=$("$E2E_MINGW-objdump" -p "$E2E_EXE")
grep -q "file format $format\$" <<<"$headers" || e2e_fail "not a $format program: $(grep -m1 'file format' <<<"$headers")"
dlls=$(echo "$headers" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort)
[ -n "$dlls" ] || e2e_fail "no imports found"
for dll in $dlls; do
    [[ $dll =~ $allowed ]] || e2e_fail "imports $dll"
done
echo "$headers" | grep -q '^Subsystem\s.*(Windows GUI)' || e2e_fail "not a GUI program"
e2e_log "imports: $(echo $dlls)"

exports=$("$E2E_MINGW-objdump" -p "$E2E_STUB_NEWDEV" | sed -n 's/^\s*\[ *[0-9]*\] \([A-Za-z_][A-Za-z0-9_@]*\)$/\1/p' | sort | tr '\n' ' ')
e2e_assert_eq "UpdateDriverForPlugAndPlayDevicesA " "$exports" "stand-in newdev.dll exports"

e2e_finish
