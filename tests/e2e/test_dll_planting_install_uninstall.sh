#!/usr/bin/env bash
# DLL planting: newdev.dll, setupapi.dll, cfgmgr32.dll, comctl32.dll,
# shell32.dll and uxtheme.dll placed beside the program, with Wine told to
# prefer native DLLs for each, are never loaded, in an install run and in an
# uninstall run; both runs end as usual. uxtheme.dll is loaded by the system's
# own DLLs, not by the program, and only the search restriction made at the
# program's start keeps it out. A control program in the same folder that
# loads the six by name does get the planted copies, so the plant itself
# works. Then the restriction's fallback where the system lacks
# SetDefaultDllDirectories.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup dll_planting_install_uninstall

dlls="newdev setupapi cfgmgr32 comctl32 shell32 uxtheme"
app=$E2E_DIR/app
rm -rf "$app"
mkdir -p "$app"
cp "$E2E_EXE" "$app/"

# The planted DLL says so in the debugger output and leaves <dll>.loaded beside itself.
cat >"$E2E_DIR/planted.c" <<'C'
#include <windows.h>
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    char path[MAX_PATH + 8], line[MAX_PATH + 40];
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        GetModuleFileNameA(instance, path, MAX_PATH);
        wsprintfA(line, "PLANTED DLL LOADED: %s\n", path);
        OutputDebugStringA(line);
        lstrcatA(path, ".loaded");
        CloseHandle(CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    }
    return TRUE;
}
C
cat >"$E2E_DIR/control.c" <<'C'
#include <windows.h>
int main(void) {
    static const char *names[] = {"newdev.dll", "setupapi.dll", "cfgmgr32.dll", "comctl32.dll", "shell32.dll", "uxtheme.dll"};
    int i;
    for (i = 0; i < 6; i++) LoadLibraryA(names[i]);
    return 0;
}
C
"$E2E_MINGW-gcc" -shared -O2 -o "$E2E_DIR/planted.dll" "$E2E_DIR/planted.c" &&
    "$E2E_MINGW-gcc" -O2 -o "$app/control.exe" "$E2E_DIR/control.c" ||
    { e2e_fail "cannot build the planted DLL"; e2e_finish; }
for dll in $dlls; do cp "$E2E_DIR/planted.dll" "$app/$dll.dll"; done
export WINEDLLOVERRIDES="newdev,setupapi,cfgmgr32,comctl32,shell32,uxtheme=n,b"

# planted_loads: the planted DLLs that reported loading, one a line.
planted_loads() {
    { grep -ho 'PLANTED DLL LOADED: [^"]*' "$E2E_TRACE" 2>/dev/null | sed 's/\\n$//; s/.*\\//'
      (cd "$app" && ls -1 *.loaded 2>/dev/null | sed 's/\.loaded$//'); } | tr 'A-Z' 'a-z' | sort -u
}

E2E_TRACE=$E2E_DIR/control.trace
WINEDEBUG=+debugstr wine "$app/control.exe" 2>"$E2E_TRACE"
machine_expect_lines "DLLs the control program loaded from its folder" "$(planted_loads)" <<'LOADED'
cfgmgr32.dll
comctl32.dll
newdev.dll
setupapi.dll
shell32.dll
uxtheme.dll
LOADED
rm -f "$app"/*.loaded

machine_provision full1
e2e_run 40 "$app/ZanDriverInstaller.exe" INSTALL SILENT
e2e_expect_end 0 RESULT.SUCCESS "install"
e2e_assert_eq "" "$(planted_loads)" "install: planted DLLs loaded"
machine_dump installed
machine_expect_card installed 1
machine_expect_port installed C COM3

e2e_run 40 "$app/ZanDriverInstaller.exe" UNINSTALL
e2e_expect_end 0 RESULT.SUCCESS "uninstall"
e2e_assert_eq "" "$(planted_loads)" "uninstall: planted DLLs loaded"
e2e_assert_trace '----> Retreiving the windows path'
machine_dump removed
machine_expect_lines "removed: devices" "$(machine_devices removed)" \
    <<<"Serial Port C"

# Where the system lacks SetDefaultDllDirectories (Wine has it, so the
# program itself never goes this way here), the restriction falls back to
# SetDllDirectoryA(""), which takes the folder set before out of the search,
# and traces it: helpers/dll-search, whose lookup finds no such function.
search=$E2E_HELPERS/dll-search/dll-search.exe
e2e_run 20 "$search"
e2e_assert_eq 'restricted 0, DLL directory ""' "$(tr -d '\r' <"$E2E_DIR/program.out")" "restriction without SetDefaultDllDirectories"
e2e_assert_trace 'DLL search could not be restricted to the system directory\n'
e2e_run 20 "$search" --as-is
e2e_assert_eq 'restricted 1, DLL directory "C:\planted"' "$(tr -d '\r' <"$E2E_DIR/program.out")" "restriction with it"
e2e_trace_has 'DLL search could not be restricted to the system directory\n' && e2e_fail "restricted, yet traced as not"

e2e_finish
