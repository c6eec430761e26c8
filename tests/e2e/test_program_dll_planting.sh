#!/usr/bin/env bash
# The program started from a download folder that also holds a planted
# newdev.dll loads the system's newdev.dll, not the planted one; and a
# missing system DLL is an error the run reports, not a crash.
. "$(dirname "$0")/lib.sh"
e2e_setup program_dll_planting

downloads=$E2E_DIR/Downloads
mkdir -p "$downloads"
cp "$E2E_EXE64" "$E2E_PROBE64" "$downloads/"
cp "$E2E_STUB_NEWDEV64" "$downloads/newdev.dll"   # planted: fails every update with error 5
export WINEDLLOVERRIDES="newdev=n,b" ZAN_STUB_NEWDEV_ERROR=5

# Control: a program with the default search does pick the planted DLL up.
loaded=$(e2e_run_console "$downloads/dll-search-probe.exe" newdev.dll)
case "$loaded" in
    *\\Downloads\\newdev.dll) ;;
    *) e2e_fail "control: the default search loaded '$loaded', not the planted DLL" ;;
esac

# The installer's update reaches Wine's own newdev, which reports success.
e2e_start_program "$downloads/ZanDriverInstaller.exe" INSTALL SILENT
if e2e_wait_exit 30; then
    e2e_trace_lines | grep -q '^stub newdev:' && e2e_fail "the planted newdev.dll was loaded"
    e2e_assert_eq 0 "$E2E_EXIT" "exit code with the system's newdev"
    e2e_assert_eq "RESULT.SUCCESS" "$(e2e_markers)" "markers with the system's newdev"
else
    e2e_fail "the install from the download folder did not end within 30 s"
fi

# No newdev.dll at all: the update fails with "module not found" (126), the
# run shows its error box, and ends with RESULT.FAIL and exit code 1.
export WINEDLLOVERRIDES="newdev="
e2e_start_program "$E2E_EXE64" INSTALL SILENT
if box=$(e2e_find_window '^ZAN 7350-21X PCI Serial Port and Base Device Driver v1.0$' 20); then
    e2e_press_key "$box" Return
    e2e_wait_exit 10 || e2e_fail "no end after the error box"
    e2e_assert_eq 1 "$E2E_EXIT" "exit code without newdev.dll"
    e2e_assert_eq "RESULT.FAIL" "$(e2e_markers)" "markers without newdev.dll"
else
    e2e_fail "no error box without newdev.dll"
fi
e2e_trace_lines | grep -q '^newdev.dll could not be loaded from the system directory (UpdateDriverForPlugAndPlayDevicesA), error 126' ||
    e2e_fail "no trace of the missing newdev.dll"
e2e_assert_trace '----> Device Driver Installation failed : GetLastError() = 0000007eh\n'

e2e_finish
