#!/usr/bin/env bash
# "SILENT" and "BASE_DEVICE" on a one-port machine, keywords in any order and
# inside longer arguments: the base device, the one-port card and Serial
# Port C are installed and Serial Port C becomes COM3; ZANBaseD.inf stays.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup install_silent_base
machine_provision full1
machine_expect_silent_install 1 1 40 /BASE_DEVICE "C:\\SILENT\\setup" INSTALL <<<'+ inf\ZANBaseD.inf'
machine_expect_devices after "Serial Port C" "ZAN 7350-21x Base Device" "ZAN 7350-21x Serial Multifunction Device"
e2e_finish
