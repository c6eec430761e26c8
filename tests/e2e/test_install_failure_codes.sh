#!/usr/bin/env bash
# A driver update that fails, through the stand-in newdev.dll, with each of
# the errors the tool tells apart (2, 1004, 0xE000020B) and another one (5):
# the trace names the cause, the failed row shows "[Failed]" for 2 s, then
# the error box (exact text, caption, one OK button) waits with no marker
# written; RESULT.FAIL appears only once the box is dismissed, alone, and the
# program ends with exit code 1. Rows after the failed one are not tried.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup install_failure_codes

machine_provision full4
M_WATCH_ARGS=(--hold 800 --answer "$M_CAPTION=ok")
base_inf='C:\\windows\\INF\\ZANBaseD.inf'
one_port_inf='C:\\windows\\INF\\.\\1port\\ZAN2kmf.inf'
four_port_inf='C:\\windows\\INF\\.\\4port\\ZAN2kmf.inf'
base_id='PCI\\VEN_1D9E&DEV_0B52&SUBSYS_0B531D9E'
card_id='PCI\\VEN_1D9E&DEV_0B54&SUBSYS_0B551D9E&REV_10'

# run_failing ERROR ROW_DESCRIPTION ID INF CAUSE ARGUMENTS...: one run whose
# first driver update (of the row described, for ID from INF) fails with
# ERROR, traced as CAUSE.
run_failing() {
    local error=$1 row=$2 id=$3 inf=$4 cause=$5
    shift 5
    e2e_log "error $error: $*"
    machine_provision empty # the INF files afresh
    touch "$E2E_WINDIR/RESULT.SUCCESS"
    e2e_install_stub_newdev "$error"
    machine_run 30 "$@"

    e2e_expect_end 1 RESULT.FAIL "error $error"
    machine_expect_error_box "error $error" installing
    machine_expect_status < <(
        machine_status_start
        printf '%s\n' "may: Installing $row..." "must: Installing $row...[Failed]"
    )
    machine_expect_trace <<TRACE
CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnInitDialog()\\n
**** InstallTiDevice(), Installing Root Port USB Driver ****
--> Installing device driver
----> Device Driver Installation failed : $cause\\n
--> Failure installing Driver
TRACE
    machine_expect_lines "error $error: driver updates made" "$(e2e_trace_lines | grep '^stub newdev: ')" <<CALLS
stub newdev: UpdateDriverForPlugAndPlayDevicesA(\\"$id\\", \\"$inf\\", flags 0x1) -> error $(printf '0x%08x' "$error")\\n
CALLS

    machine_expect_failure_order "error $error"
}

run_failing 2 "ZAN 7350-21x Serial Multifunction Device" "$card_id" "$one_port_inf" \
    "INF File Not Found" INSTALL SILENT
machine_dump after_2
# The declined base device lost its INF although the install failed.
machine_expect_files after_2 <<'FILES'
- inf\ZANBaseD.inf
FILES

run_failing 1004 "ZAN 7350-21x Base Device" "$base_id" "$base_inf" \
    "Invalid Flags" INSTALL SILENT BASE_DEVICE
run_failing 0xE000020B "ZAN 7350-21x Base Device" "$base_id" "$base_inf" \
    "No such device" INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL
run_failing 5 "ZAN 7350-21x Serial Multifunction Device" "$card_id" "$four_port_inf" \
    "GetLastError() = 00000005h" INSTALL SILENT MAROVEL_SERIAL

# Nothing was installed or renamed by the stand-in; the last run declined
# the base device again.
machine_dump after
machine_expect_base after 0
machine_expect_card after none
machine_expect_port after C 'MF\PCI1D9E_COMF' - 0
machine_expect_files after <<'FILES'
- inf\ZANBaseD.inf
+ inf\4port\ZAN2kmf.inf
FILES

e2e_finish
