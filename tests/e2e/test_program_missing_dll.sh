#!/usr/bin/env bash
# System DLLs that are not as the program expects:
# 1. Without a newdev.dll in the system directory the driver update fails
#    with "module not found" (126) and a trace line naming the DLL, rather
#    than crashing; the run shows its error box over the progress window,
#    which Enter and Escape do not close, and writes RESULT.FAIL (alone: the
#    old RESULT.SUCCESS goes) and ends with exit code 1 only once the box is
#    dismissed.
# 2. A setupapi.dll without SetupUninstallOEMInfA (the stand-in built without
#    it, for this program only): "UNINSTALL" of the base device traces the
#    missing entry point, fails that OEM INF copy's driver package removal
#    with 127 and deletes the copy all the same; the run succeeds.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup program_missing_dll

export WINEDLLOVERRIDES="newdev="   # Wine's own newdev.dll disabled, no other present
touch "$E2E_WINDIR/RESULT.SUCCESS"
e2e_start_program "$E2E_EXE" INSTALL SILENT
# The box: the first visible window of exactly its caption, within 20 s.
box=$(timeout 20 xdotool search --sync --onlyvisible --name "^$M_CAPTION\$" 2>/dev/null | head -n 1)
if [ -n "$box" ]; then
    e2e_running || e2e_fail "the program ended while its error box was up"
    e2e_assert_eq "" "$(e2e_markers)" "markers while the box waits"
    # The progress window: the program's window without a title (Wine names
    # the X class after the program).
    progress=$(for id in $(xdotool search --onlyvisible --class '^zandriverinstaller\.exe$' 2>/dev/null); do
        [ -z "$(xdotool getwindowname "$id" 2>/dev/null)" ] && echo "$id"; done | head -n 1)
    if [ -n "$progress" ]; then
        e2e_press_key "$progress" Escape
        e2e_press_key "$progress" Return
        sleep 0.5
        e2e_running || e2e_fail "Enter or Escape in the progress window ended the run"
    else
        e2e_fail "no progress window beside the error box"
    fi
    e2e_press_key "$box" Return
    e2e_wait_exit 10 || e2e_fail "no end after the error box"
    e2e_expect_end 1 "RESULT.FAIL"
else
    e2e_fail "no error box"
fi
e2e_trace_lines | grep -q '^newdev.dll could not be loaded from the system directory (UpdateDriverForPlugAndPlayDevicesA), error 126' ||
    e2e_fail "no trace of the missing newdev.dll"
e2e_assert_trace '----> Device Driver Installation failed : GetLastError() = 0000007eh\n'
e2e_assert_eq 'An error was encountered while installing the drivers.' "$(e2e_message_boxes)" "message boxes"
unset WINEDLLOVERRIDES

machine_provision full1
# An OEM INF copy whose model line names the base device's hardware ID, and its PNF.
printf '[Version]\r\nSignature="$WINDOWS NT$"\r\n[Models]\r\n%%Dev%%=Dev_Install,%s\r\n' \
    'PCI\VEN_1D9E&DEV_0B52&SUBSYS_0B531D9E' >"$E2E_WINDIR/inf/oem40.inf"
printf 'Wine PNF header\r\nC:\\windows\\inf\\oem40.inf' >"$E2E_WINDIR/inf/oem40.pnf"
e2e_install_stub_for_program setupapi lacking
e2e_run 30 "$E2E_EXE" UNINSTALL
e2e_expect_end 0 RESULT.SUCCESS "uninstall without SetupUninstallOEMInfA"
machine_expect_lines "the base device's OEM INF copy" "$(e2e_trace_lines | sed -n '/^oem40.inf$/,/PNF File$/p')" <<'TRACE'
oem40.inf
--> Opening OEM* File
----> Search Key Found!
----> Uninstalling Driver Package
setupapi.dll has no entry point SetupUninstallOEMInfA, error 127\n
----> Driver Package Uninstall failed : GetLastError() = 0000007fh
----> Deleting INF File
----> Deleting PNF File
TRACE
[ -e "$E2E_WINDIR/inf/oem40.inf" ] && e2e_fail "oem40.inf was not deleted"

e2e_finish
