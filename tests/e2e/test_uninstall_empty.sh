#!/usr/bin/env bash
# "UNINSTALL" on a machine with none of the devices, only decoys whose
# descriptions are a longer one and a shorter piece of the base device's:
# every search ends with "No more devices", nothing is removed, no file is
# deleted (OEM copies that name the devices included), and the run succeeds.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup uninstall_empty

machine_provision empty decoys --oem
: >"$E2E_WINDIR/inf/ZANBaseD.pnf"
machine_dump before

machine_run 30 UNINSTALL
machine_dump after

machine_expect_success
machine_expect_status < <(machine_status_uninstall)
machine_expect_trace < <(machine_trace_uninstall_empty)

machine_expect_devices after "ZAN 7350-21x Base" "ZAN 7350-21x Base Device 2"
machine_expect_lines "INF folder" "$(machine_files after)" <<<"$(machine_files before)"

e2e_finish
