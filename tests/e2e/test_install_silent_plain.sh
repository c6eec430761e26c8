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
machine_expect_silent_install 0 1 40 INSTALL SILENT <<'FILES'
- inf\ZANBaseD.inf
+ inf\ZANBaseD.pnf
+ inf\ZANPorts.inf
+ inf\1port\ZAN2kmf.inf
+ inf\4port\ZAN2kmf.inf
FILES
for port in D E F; do machine_expect_unchanged before after "Serial Port $port"; done
e2e_finish
