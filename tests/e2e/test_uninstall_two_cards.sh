#!/usr/bin/env bash
# "UNINSTALL" on a machine with two cards and no base device: the one-port row
# removes the first card, the four-port row the second (the removed one can no
# longer be read and is passed over), and both packages' INF and PNF files
# are deleted; the ports stay.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup uninstall_two_cards

machine_provision nobase card2
: >"$E2E_WINDIR/inf/1port/ZAN2kmf.pnf"
: >"$E2E_WINDIR/inf/4port/ZAN2kmf.pnf"
: >"$E2E_WINDIR/inf/ZANBaseD.pnf"

machine_run 30 UNINSTALL
machine_dump after

machine_expect_success
machine_expect_status < <(machine_status_uninstall - OK OK)
machine_expect_trace < <(
    machine_trace_uninstall_start
    printf '%s\n' '--> Device Enumeration(FindDevice)' '----> No more devices\n'
    for card in 1 2; do
        machine_trace_removed
        machine_trace_oem_cleanup
        echo '----> No files found'
    done
)

machine_expect_devices after "Serial Port C" "Serial Port D" "Serial Port E" "Serial Port F"
machine_expect_files after <<'FILES'
- inf\1port\ZAN2kmf.inf
- inf\1port\ZAN2kmf.pnf
- inf\4port\ZAN2kmf.inf
- inf\4port\ZAN2kmf.pnf
+ inf\ZANBaseD.inf
+ inf\ZANBaseD.pnf
+ inf\ZANPorts.inf
FILES

e2e_finish
