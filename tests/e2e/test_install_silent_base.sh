#!/usr/bin/env bash
# "SILENT" and "BASE_DEVICE" on a one-port machine, keywords in any order and
# inside longer arguments: the base device, the one-port card and Serial
# Port C are installed and Serial Port C becomes COM3; ZANBaseD.inf stays.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup install_silent_base

machine_provision full1
machine_watch_start
e2e_start_program "$E2E_EXE64" /BASE_DEVICE "C:\\SILENT\\setup" INSTALL
e2e_wait_exit 40 || { e2e_fail "the program did not end within 40 s"; e2e_finish; }
machine_watch_wait
machine_dump after

e2e_assert_eq 0 "$E2E_EXIT" "exit code"
e2e_assert_eq RESULT.SUCCESS "$(e2e_markers)" "markers"
machine_expect_lines "message boxes" "$(machine_boxes_seen)" </dev/null
machine_expect_status <<'LINES'
may: Checking for previously installed drivers...
may: ""
may: Installing ZAN 7350-21x Base Device...
must: Installing ZAN 7350-21x Base Device...[OK]
may: Installing ZAN 7350-21x Serial Multifunction Device...
must: Installing ZAN 7350-21x Serial Multifunction Device...[OK]
may: Installing Serial Port C...
must: Installing Serial Port C...[OK]
may: Mapping Serial Port C to COM3...
must: Mapping Serial Port C to COM3...[OK]
LINES
machine_expect_trace < <(
    echo 'CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnInitDialog()\n'
    machine_trace_install_rows 3
    machine_trace_map_port 'MF\\PCI1D9E_COMF'
)

machine_expect_base after 1
machine_expect_card after 1
machine_expect_port after C 'MF\PCI1D9E_COMF' COM3 1
machine_expect_lines "devices" "$(machine_descriptions after)" <<'DEVICES'
Serial Port C
ZAN 7350-21x Base Device
ZAN 7350-21x Serial Multifunction Device
DEVICES
machine_expect_files after <<'FILES'
+ inf\ZANBaseD.inf
FILES

e2e_finish
