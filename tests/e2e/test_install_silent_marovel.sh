#!/usr/bin/env bash
# "SILENT" and "MAROVEL_SERIAL" on a four-port machine without a base device:
# the four-port card and Serial Ports C to F are installed, the ports become
# COM3 to COM6 by their hardware IDs, and the declined base device's
# ZANBaseD.inf is deleted.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup install_silent_marovel

machine_provision nobase
machine_watch_start
e2e_start_program "$E2E_EXE64" INSTALL SILENT MAROVEL_SERIAL
e2e_wait_exit 60 || { e2e_fail "the program did not end within 60 s"; e2e_finish; }
machine_watch_wait
machine_dump after

e2e_assert_eq 0 "$E2E_EXIT" "exit code"
e2e_assert_eq RESULT.SUCCESS "$(e2e_markers)" "markers"
machine_expect_status <<'LINES'
may: Checking for previously installed drivers...
may: ""
may: Installing ZAN 7350-21x Serial Multifunction Device...
must: Installing ZAN 7350-21x Serial Multifunction Device...[OK]
may: Installing Serial Port C...
must: Installing Serial Port C...[OK]
may: Installing Serial Port D...
must: Installing Serial Port D...[OK]
may: Installing Serial Port E...
must: Installing Serial Port E...[OK]
may: Installing Serial Port F...
must: Installing Serial Port F...[OK]
may: Mapping Serial Port C to COM3...
must: Mapping Serial Port C to COM3...[OK]
may: Mapping Serial Port D to COM4...
must: Mapping Serial Port D to COM4...[OK]
may: Mapping Serial Port E to COM5...
must: Mapping Serial Port E to COM5...[OK]
may: Mapping Serial Port F to COM6...
must: Mapping Serial Port F to COM6...[OK]
LINES
machine_expect_trace < <(
    echo 'CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnInitDialog()\n'
    machine_trace_install_rows 5
    machine_trace_map_port 'MF\\PCI1D9E_COMF'
    machine_trace_map_port 'MF\\PCI1D9E_COMF' 'MF\\PCI1D9E_COMC'
    machine_trace_map_port 'MF\\PCI1D9E_COMF' 'MF\\PCI1D9E_COMC' 'MF\\PCI1D9E_COME'
    machine_trace_map_port 'MF\\PCI1D9E_COMF' 'MF\\PCI1D9E_COMC' 'MF\\PCI1D9E_COME' 'MF\\PCI1D9E_COMD'
)

machine_expect_card after 4
machine_expect_port after C 'MF\PCI1D9E_COMF' COM3 1
machine_expect_port after D 'MF\PCI1D9E_COMC' COM4 1
machine_expect_port after E 'MF\PCI1D9E_COME' COM5 1
machine_expect_port after F 'MF\PCI1D9E_COMD' COM6 1
machine_expect_files after <<'FILES'
- inf\ZANBaseD.inf
+ inf\4port\ZAN2kmf.inf
FILES

e2e_finish
