#!/usr/bin/env bash
# "SILENT" and "BASE_DEVICE" on a one-port machine, keywords in any order and
# inside longer arguments: the base device, the one-port card and Serial
# Port C are installed and Serial Port C becomes COM3; ZANBaseD.inf stays.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup install_silent_base

machine_provision full1
machine_run 40 /BASE_DEVICE "C:\\SILENT\\setup" INSTALL
machine_dump after
machine_expect_success
machine_expect_lines "message boxes" "$(machine_boxes_seen)" </dev/null
machine_expect_status < <(
    machine_status_start
    machine_status_installed "ZAN 7350-21x Base Device" "ZAN 7350-21x Serial Multifunction Device" "Serial Port C"
    machine_status_mapped C
)
machine_expect_trace < <(machine_trace_install 3 1)

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
