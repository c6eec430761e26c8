#!/usr/bin/env bash
# "SILENT" and "MAROVEL_SERIAL" on a four-port machine without a base device:
# the four-port card and Serial Ports C to F are installed, the ports become
# COM3 to COM6 by their hardware IDs, and the declined base device's
# ZANBaseD.inf is deleted.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup install_silent_marovel
machine_provision nobase
machine_expect_silent_install none 4 60 INSTALL SILENT MAROVEL_SERIAL <<'FILES'
- inf\ZANBaseD.inf
+ inf\4port\ZAN2kmf.inf
FILES
e2e_finish
