#!/usr/bin/env bash
# "INSTALL SILENT" with neither choice: the table's start values. Only the
# one-port card and Serial Port C are installed and only Serial Port C is
# mapped (COM3), on a machine that has all four ports and a base device; the
# declined base device loses ZANBaseD.inf but keeps its .pnf.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup install_silent_plain

machine_provision full4
: >"$E2E_WINDIR/inf/ZANBaseD.pnf"
machine_dump before

machine_watch_start
e2e_start_program "$E2E_EXE64" INSTALL SILENT
e2e_wait_exit 40 || { e2e_fail "the program did not end within 40 s"; e2e_finish; }
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
may: Mapping Serial Port C to COM3...
must: Mapping Serial Port C to COM3...[OK]
LINES
machine_expect_trace < <(
    echo 'CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnInitDialog()\n'
    machine_trace_install_rows 2
    machine_trace_map_port 'MF\\PCI1D9E_COMF'
)

machine_expect_base after 0
machine_expect_card after 1
machine_expect_port after C 'MF\PCI1D9E_COMF' COM3 1
for port in D E F; do machine_expect_unchanged before after "Serial Port $port"; done
machine_expect_files after <<'FILES'
- inf\ZANBaseD.inf
+ inf\ZANBaseD.pnf
+ inf\ZANPorts.inf
+ inf\1port\ZAN2kmf.inf
+ inf\4port\ZAN2kmf.inf
FILES

e2e_finish
