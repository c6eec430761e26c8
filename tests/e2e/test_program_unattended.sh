#!/usr/bin/env bash
# UNATTENDED on a four-port machine: the choices from the command line as
# with SILENT, no message box of any kind, RESULT.FAIL and exit code 1 as
# soon as a failure's 2 s are over, and a restart the system needs reported
# through exit code 3010 (the whole exit code read through a batch file).
# Wine's driver update never asks for a restart, nor can Wine read a removed
# device's install parameters: the stand-in newdev.dll and setupapi.dll say
# a restart is needed where a test asks them to.
#
# 1. An install whose driver update fails ("no such device"), with a log:
#    no box, RESULT.FAIL right after the "[Failed]" pause, exit code 1, the
#    log holding the run from its first line to "RESULT.FAIL, exit code 1".
# 2. An install whose driver updates say a restart is needed: each is traced,
#    RESULT.SUCCESS, exit code 3010.
# 3. The same with the second row failing: exit code 1 after the first row's
#    restart need.
# 4. SILENT with the stand-in ready to ask for a restart: the driver update
#    is called without the restart output, exit code 0.
# 5. An uninstall whose second removal fails (Wine's own install parameters
#    read after the first): no box, RESULT.FAIL, exit code 1.
# 6. An uninstall whose removal needs a restart (the stand-in setupapi.dll
#    reports DI_NEEDREBOOT): exit code 3010.
# 7. An uninstall on the machine now without the devices: exit code 0.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup program_unattended

machine_provision full4
e2e_install_stub_newdev 0xE000020B
M_STARTER=e2e_start_program_for_code
LOG=$WINEPREFIX/drive_c/unattended.log
CARD='ZAN 7350-21x Serial Multifunction Device'
INSTALL_ROW=('**** InstallTiDevice(), Installing Root Port USB Driver ****' '--> Installing device driver')

# keep N: the last run's debugger output kept as run-N.trace.
keep() { cp "$E2E_TRACE" "$E2E_DIR/run-$1.trace"; }

# stub_lines: the stand-in newdev.dll's lines about the restart output.
stub_lines() { e2e_trace_lines | grep -E '^stub newdev: (no restart|restart output)'; }

# --- 1. A failed install, with a log -------------------------------------------------
e2e_log "1. INSTALL UNATTENDED /LOG=C:\\unattended.log, the driver update failing"
machine_run 40 INSTALL UNATTENDED '/LOG=C:\unattended.log'
keep 1
e2e_assert_eq 1 "$E2E_EXIT" "1. exit code"
e2e_assert_eq RESULT.FAIL "$(e2e_markers)" "1. markers"
e2e_assert_eq "" "$(e2e_message_boxes)" "1. message boxes"
machine_expect_unattended_failure "1."
machine_expect_status < <(
    machine_status_start
    printf '%s\n' "may: Installing $CARD..." "must: Installing $CARD...[Failed]"
)
machine_expect_trace < <(
    echo 'CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnInitDialog()\n'
    printf '%s\n' "${INSTALL_ROW[@]}" '----> Device Driver Installation failed : No such device\n' \
        '--> Failure installing Driver'
)
e2e_expect_log_format "$LOG"
e2e_expect_log "$LOG" "$(e2e_log_pids "$LOG")" 'INSTALL UNATTENDED /LOG=C:\unattended.log' RESULT.FAIL 1
cp "$LOG" "$E2E_DIR/failed-unattended-run.log"

# --- 2. Restart needed after each driver update --------------------------------------
export ZAN_STUB_NEWDEV_REBOOT=1
unset ZAN_STUB_NEWDEV_ERROR
e2e_log "2. INSTALL UNATTENDED, each driver update asking for a restart"
machine_run 40 INSTALL UNATTENDED
keep 2
e2e_assert_eq 3010 "$E2E_EXIT" "2. exit code"
e2e_assert_eq RESULT.SUCCESS "$(e2e_markers)" "2. markers"
e2e_assert_eq "" "$(machine_boxes_seen)" "2. message boxes"
machine_expect_status < <(
    machine_status_start
    machine_status_installed "$CARD" "Serial Port C"
    machine_status_mapped C
)
machine_expect_trace < <(
    echo 'CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnInitDialog()\n'
    for row in card port; do
        printf '%s\n' "${INSTALL_ROW[@]}" '----> Restart needed to complete the driver installation'
    done
    machine_trace_mapped 1
)
machine_expect_lines "2. restart outputs" "$(stub_lines)" <<'LINES'
stub newdev: restart output given, set to TRUE\n
stub newdev: restart output given, set to TRUE\n
LINES

# --- 3. Restart needed, then a failure -------------------------------------------------
export ZAN_STUB_NEWDEV_ERROR=0xE000020B ZAN_STUB_NEWDEV_FAIL_ID='MF\PCI1D9E_COMF'
e2e_log "3. INSTALL UNATTENDED, a restart needed, then Serial Port C failing"
machine_run 40 INSTALL UNATTENDED
keep 3
unset ZAN_STUB_NEWDEV_FAIL_ID
e2e_assert_eq 1 "$E2E_EXIT" "3. exit code"
e2e_assert_eq RESULT.FAIL "$(e2e_markers)" "3. markers"
machine_expect_unattended_failure "3."
machine_expect_trace < <(
    echo 'CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnInitDialog()\n'
    printf '%s\n' "${INSTALL_ROW[@]}" '----> Restart needed to complete the driver installation'
    printf '%s\n' "${INSTALL_ROW[@]}" '----> Device Driver Installation failed : No such device\n' \
        '--> Failure installing Driver'
)
machine_expect_lines "3. restart outputs" "$(stub_lines)" <<'LINES'
stub newdev: restart output given, set to TRUE\n
stub newdev: restart output given, left FALSE\n
LINES

# --- 4. SILENT leaves a restart to the system ----------------------------------------
unset ZAN_STUB_NEWDEV_ERROR
e2e_log "4. INSTALL SILENT, the stand-in ready to ask for a restart"
machine_run 40 INSTALL SILENT
keep 4
e2e_assert_eq 0 "$E2E_EXIT" "4. exit code"
e2e_assert_eq RESULT.SUCCESS "$(e2e_markers)" "4. markers"
machine_expect_trace < <(machine_trace_install 2 1)
machine_expect_lines "4. restart outputs" "$(stub_lines)" <<'LINES'
stub newdev: no restart output\n
stub newdev: no restart output\n
LINES
unset ZAN_STUB_NEWDEV_REBOOT

# --- 5.-7. Uninstalls, through the stand-in setupapi.dll ------------------------------
e2e_install_stub_for_program setupapi
removed() {
    printf '%s\n' '--> Device Enumeration(FindDevice)' '----> FindDevice match(REG_SZ)!' \
        '----> Driver installation found' '----> Removing Device' '--> REMOVING DEVICE....'
}

export ZAN_STUB_SETUPAPI_FAIL='SetupDiRemoveDevice#2'
e2e_log "5. UNINSTALL UNATTENDED, the card's removal failing"
machine_run 40 UNINSTALL UNATTENDED
unset ZAN_STUB_SETUPAPI_FAIL
keep 5
e2e_assert_eq 1 "$E2E_EXIT" "5. exit code"
e2e_assert_eq RESULT.FAIL "$(e2e_markers)" "5. markers"
e2e_assert_eq "" "$(machine_boxes_seen)" "5. message boxes"
machine_expect_status < <(
    machine_status_start
    echo 'must: Removing previously installed drivers and devices...'
    machine_status_removed "ZAN 7350-21x Base Device" OK
    machine_status_removed "$CARD" Failed
)
# The base device's parameters, read by Wine after its removal, cannot be.
trace=$(machine_tool_trace)
grep -qxF -- '----> Install parameters not read : GetLastError() = e000020bh' <<<"$trace" ||
    e2e_fail "5. Wine's refused read of the install parameters not traced"
grep -q '^----> Restart needed' <<<"$trace" && e2e_fail "5. a restart traced"
[ "$(tail -n 1 <<<"$trace")" = 'stub setupapi: SetupDiRemoveDevice call 2 -> error 0x00000005\n' ] ||
    e2e_fail "5. the run did not end at the card's removal: $(tail -n 1 <<<"$trace")"

export ZAN_STUB_SETUPAPI_NEEDREBOOT=1
e2e_log "6. UNINSTALL UNATTENDED, the card's removal needing a restart"
machine_run 40 UNINSTALL UNATTENDED
keep 6
e2e_assert_eq 3010 "$E2E_EXIT" "6. exit code"
e2e_assert_eq RESULT.SUCCESS "$(e2e_markers)" "6. markers"
e2e_assert_eq "" "$(machine_boxes_seen)" "6. message boxes"
trace=$(machine_tool_trace)
machine_expect_lines "6. the removal and its restart" "$(grep -A 3 -xF -- '--> REMOVING DEVICE....' <<<"$trace")" <<'LINES'
--> REMOVING DEVICE....
stub setupapi: SetupDiGetDeviceInstallParamsA call 1 -> DI_NEEDREBOOT\n
----> Restart needed to complete the device removal
----> Removing all OEM*.inf/pnf files associated with the specified search key
LINES

e2e_log "7. UNINSTALL UNATTENDED on a machine without the devices"
machine_run 40 UNINSTALL UNATTENDED
keep 7
e2e_assert_eq 0 "$E2E_EXIT" "7. exit code"
e2e_assert_eq RESULT.SUCCESS "$(e2e_markers)" "7. markers"
machine_expect_trace < <(machine_trace_uninstall_empty)
unset ZAN_STUB_SETUPAPI_NEEDREBOOT

e2e_finish
