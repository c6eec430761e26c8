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

machine_run 40 INSTALL SILENT
machine_dump after
machine_expect_success
machine_expect_status < <(
    machine_status_start
    machine_status_installed "ZAN 7350-21x Serial Multifunction Device" "Serial Port C"
    machine_status_mapped C
)
machine_expect_trace < <(machine_trace_install 2 1)

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
