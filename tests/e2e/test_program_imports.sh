#!/usr/bin/env bash
# Both programs are self-contained GUI programs that import only kernel32,
# user32, gdi32, advapi32 and the C runtime; every other system DLL is loaded
# at run time from the system directory. The stand-in newdev.dll exports the
# driver update under its plain names.
. "$(dirname "$0")/lib.sh"
E2E_TEST=program_imports
E2E_DIR=$E2E_WORK/$E2E_TEST

allowed='^(kernel32|user32|gdi32|advapi32|msvcrt|api-ms-win-crt-[a-z0-9-]+)\.dll$'
for exe in "$E2E_EXE64:x86_64" "$E2E_EXE32:i686"; do
    file=${exe%:*} arch=${exe##*:}
    if [ ! -f "$file" ]; then
        e2e_fail "missing $file (run make windows)"
        continue
    fi
    headers=$("$arch-w64-mingw32-objdump" -p "$file")
    dlls=$(echo "$headers" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort)
    [ -n "$dlls" ] || e2e_fail "$arch: no imports found"
    for dll in $dlls; do
        [[ $dll =~ $allowed ]] || e2e_fail "$arch: imports $dll"
    done
    echo "$headers" | grep -q '^Subsystem\s.*(Windows GUI)' || e2e_fail "$arch: not a GUI program"
    e2e_log "$arch imports: $(echo $dlls)"
done

exports=$(x86_64-w64-mingw32-objdump -p "$E2E_STUB_NEWDEV64" | sed -n 's/^\s*\[ *[0-9]*\] \([A-Za-z_][A-Za-z0-9_]*\)$/\1/p' | sort | tr '\n' ' ')
e2e_assert_eq "UpdateDriverForPlugAndPlayDevicesA UpdateDriverForPlugAndPlayDevicesW " "$exports" "stand-in newdev.dll exports"

e2e_finish
