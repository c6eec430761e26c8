#!/usr/bin/env bash
# A silent install whose driver update fails (the stand-in newdev.dll reports
# "no such device") shows the error box over the progress window, which Enter
# and Escape do not close; only once the box is dismissed does the program
# write RESULT.FAIL, alone, and end with exit code 1.
. "$(dirname "$0")/lib.sh"
e2e_setup program_install_fails

caption='ZAN 7350-21X PCI Serial Port and Base Device Driver v1.0'
touch "$E2E_WINDIR/RESULT.SUCCESS"
e2e_install_stub_newdev 0xE000020B
e2e_start_program "$E2E_EXE" INSTALL SILENT

# The failed row stays on screen for 2 s before the box comes.
if ! box=$(e2e_find_window "^$caption\$" 20); then
    e2e_fail "no error box appeared"
    e2e_finish
fi
e2e_screenshot "$E2E_DIR/error-box.png"
e2e_running || e2e_fail "the program ended while its error box was up"
e2e_assert_eq "" "$(e2e_markers)" "markers while the box waits"
e2e_assert_eq 'An error was encountered while installing the drivers.' "$(e2e_message_boxes)" "message boxes"
e2e_assert_trace 'stub newdev: UpdateDriverForPlugAndPlayDevicesA(\"PCI\\VEN_1D9E&DEV_0B54&SUBSYS_0B551D9E&REV_10\", \"C:\\windows\\INF\\.\\1port\\ZAN2kmf.inf\", flags 0x1) -> error 0xe000020b\n'
e2e_assert_trace '----> Device Driver Installation failed : No such device\n'
e2e_assert_trace '--> Failure installing Driver'

# Enter and Escape in the progress window (no title) do not end a run in progress.
progress=$(e2e_program_windows | awk -F '\t' '$2 == "" { print $1; exit }')
if [ -n "$progress" ]; then
    e2e_press_key "$progress" Escape
    e2e_press_key "$progress" Return
    sleep 0.5
    e2e_running || e2e_fail "Enter or Escape in the progress window ended the run"
else
    e2e_fail "no progress window beside the error box"
fi

e2e_press_key "$box" Return
if ! e2e_wait_exit 10; then
    e2e_fail "the program did not end after its error box was dismissed"
    e2e_finish
fi
e2e_expect_end 1 "RESULT.FAIL"

e2e_finish
