#!/usr/bin/env bash
# The full silent install on a four-port machine with a base device:
# "INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL" installs the base device, the
# four-port card and Serial Ports C to F in table order, then names the ports
# COM3 to COM6 by their hardware IDs ("MF\PCI1D9E_COMF" is Serial Port C and
# COM3, "...COMC" D and COM4, "...COME" E and COM5, "...COMD" F and COM6), and
# ends with RESULT.SUCCESS (the old RESULT.FAIL gone) and exit code 0.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup install_silent_base_marovel
machine_provision full4
touch "$E2E_WINDIR/RESULT.FAIL"
machine_dump before
machine_expect_base before 0
machine_expect_card before none
machine_expect_port before C - 0
machine_expect_silent_install 1 4 60 INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL <<'FILES'
+ inf\ZANBaseD.inf
+ inf\ZANPorts.inf
+ inf\1port\ZAN2kmf.inf
+ inf\4port\ZAN2kmf.inf
FILES
e2e_finish
