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
E2E_STARTER=e2e_start_program_for_code
LOG=$WINEPREFIX/drive_c/unattended.log
CARD='ZAN 7350-21x Serial Multifunction Device'

# run N CODE MARKERS ARGUMENTS...: run N under the watch, its debugger output
# kept as run-N.trace: its whole exit code CODE, the markers MARKERS, and no
# message box, as Wine traced them or as the watch saw them.
run() {
    local n=$1 code=$2 markers=$3
    shift 3
    e2e_log "run $n: $*"
    machine_run 40 "$@"
    cp "$E2E_TRACE" "$E2E_DIR/run-$n.trace"
    e2e_expect_end "$code" "$markers" "run $n"
    e2e_assert_eq "" "$(e2e_message_boxes)" "run $n: message boxes traced"
    e2e_assert_eq "" "$(machine_boxes_seen)" "run $n: message boxes seen"
}

# install_trace OUTCOME...: the trace of an install whose rows end so:
# restart (a restart needed) or failed (no such device).
install_trace() {
    local outcome
    echo 'CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnInitDialog()\n'
    for outcome in "$@"; do
        machine_trace_install_rows 1
        case $outcome in
            restart) echo '----> Restart needed to complete the driver installation' ;;
            failed) printf '%s\n' '----> Device Driver Installation failed : No such device\n' '--> Failure installing Driver' ;;
        esac
    done
}

# restart_outputs N CALL...: the stand-in newdev.dll's lines about the
# restart output in run N, one CALL ("no restart output", "restart output
# given, ...") a driver update.
restart_outputs() {
    local n=$1
    shift
    machine_expect_lines "run $n: restart outputs" "$(e2e_trace_lines | grep -E '^stub newdev: (no restart|restart output)')" \
        < <(printf 'stub newdev: %s\\n\n' "$@")
}

# --- 1. A failed install, with a log: its driver update fails ------------------------
run 1 1 RESULT.FAIL INSTALL UNATTENDED '/LOG=C:\unattended.log'
machine_expect_failure_order "run 1" unattended
machine_expect_status < <(
    machine_status_start
    printf '%s\n' "may: Installing $CARD..." "must: Installing $CARD...[Failed]"
)
machine_expect_trace < <(install_trace failed)
e2e_expect_log_format "$LOG" 1
e2e_expect_log "$LOG" "$(e2e_log_pids "$LOG")" 'INSTALL UNATTENDED /LOG=C:\unattended.log' RESULT.FAIL 1
cp "$LOG" "$E2E_DIR/failed-unattended-run.log"

# --- 2. Restart needed after each driver update --------------------------------------
export ZAN_STUB_NEWDEV_REBOOT=1
unset ZAN_STUB_NEWDEV_ERROR
run 2 3010 RESULT.SUCCESS INSTALL UNATTENDED
machine_expect_status < <(
    machine_status_start
    machine_status_installed "$CARD" "Serial Port C"
    machine_status_mapped C
)
machine_expect_trace < <(install_trace restart restart && machine_trace_mapped 1)
restart_outputs 2 'restart output given, set to TRUE' 'restart output given, set to TRUE'

# --- 3. Restart needed, then Serial Port C failing -----------------------------------
export ZAN_STUB_NEWDEV_ERROR=0xE000020B ZAN_STUB_NEWDEV_FAIL_ID='MF\PCI1D9E_COMF'
run 3 1 RESULT.FAIL INSTALL UNATTENDED
unset ZAN_STUB_NEWDEV_FAIL_ID
machine_expect_failure_order "run 3" unattended
machine_expect_trace < <(install_trace restart failed)
restart_outputs 3 'restart output given, set to TRUE' 'restart output given, left FALSE'

# --- 4. SILENT leaves a restart to the system: the stand-in ready to ask for one -----
unset ZAN_STUB_NEWDEV_ERROR
run 4 0 RESULT.SUCCESS INSTALL SILENT
machine_expect_trace < <(machine_trace_install 2 1)
restart_outputs 4 'no restart output' 'no restart output'
unset ZAN_STUB_NEWDEV_REBOOT

# --- 5.-7. Uninstalls, through the stand-in setupapi.dll ------------------------------
e2e_install_stub_for_program setupapi

# 5. The card's removal fails.
export ZAN_STUB_SETUPAPI_FAIL='SetupDiRemoveDevice#2'
run 5 1 RESULT.FAIL UNINSTALL UNATTENDED
unset ZAN_STUB_SETUPAPI_FAIL
machine_expect_status < <(machine_status_uninstall OK Failed)
# The base device's parameters, read by Wine after its removal, cannot be.
trace=$(machine_tool_trace)
grep -qxF -- '----> Install parameters not read : GetLastError() = e000020bh' <<<"$trace" ||
    e2e_fail "run 5: Wine's refused read of the install parameters not traced"
grep -q '^----> Restart needed' <<<"$trace" && e2e_fail "run 5: a restart traced"
[ "$(tail -n 1 <<<"$trace")" = 'stub setupapi: SetupDiRemoveDevice call 2 -> error 0x00000005\n' ] ||
    e2e_fail "run 5: the run did not end at the card's removal: $(tail -n 1 <<<"$trace")"

# 6. The card's removal needs a restart.
export ZAN_STUB_SETUPAPI_NEEDREBOOT=1
run 6 3010 RESULT.SUCCESS UNINSTALL UNATTENDED
trace=$(machine_tool_trace)
machine_expect_lines "run 6: the removal and its restart" "$(grep -A 3 -xF -- '--> REMOVING DEVICE....' <<<"$trace")" <<'LINES'
--> REMOVING DEVICE....
stub setupapi: SetupDiGetDeviceInstallParamsA call 1 -> DI_NEEDREBOOT\n
----> Restart needed to complete the device removal
----> Removing all OEM*.inf/pnf files associated with the specified search key
LINES

# 7. The machine is now without the devices.
run 7 0 RESULT.SUCCESS UNINSTALL UNATTENDED
machine_expect_trace < <(machine_trace_uninstall_empty)
unset ZAN_STUB_SETUPAPI_NEEDREBOOT

e2e_finish
