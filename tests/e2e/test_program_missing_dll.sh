#!/usr/bin/env bash
# Without a newdev.dll in the system directory the driver update fails with
# "module not found" (126) and a trace line naming the DLL; the run shows its
# error box and ends with RESULT.FAIL and exit code 1, rather than crashing.
. "$(dirname "$0")/lib.sh"
e2e_setup program_missing_dll

export WINEDLLOVERRIDES="newdev="   # Wine's own newdev.dll disabled, no other present
e2e_start_program "$E2E_EXE" INSTALL SILENT
if box=$(e2e_find_window '^ZAN 7350-21X PCI Serial Port and Base Device Driver v1.0$' 20); then
    e2e_assert_eq "" "$(e2e_markers)" "markers while the box waits"
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

e2e_finish
