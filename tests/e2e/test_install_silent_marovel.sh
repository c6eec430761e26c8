#!/usr/bin/env bash
# "SILENT" and "MAROVEL_SERIAL" on a four-port machine without a base device:
# the four-port card and Serial Ports C to F are installed, the ports become
# COM3 to COM6 by their hardware IDs, and the declined base device's
# ZANBaseD.inf is deleted.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup install_silent_marovel

machine_provision nobase
machine_run 60 INSTALL SILENT MAROVEL_SERIAL
machine_dump after
machine_expect_success
machine_expect_status < <(
    machine_status_start
    machine_status_installed "ZAN 7350-21x Serial Multifunction Device" \
        "Serial Port C" "Serial Port D" "Serial Port E" "Serial Port F"
    machine_status_mapped C D E F
)
machine_expect_trace < <(machine_trace_install 5 4)

machine_expect_card after 4
machine_expect_four_ports after
machine_expect_files after <<'FILES'
- inf\ZANBaseD.inf
+ inf\4port\ZAN2kmf.inf
FILES

e2e_finish
