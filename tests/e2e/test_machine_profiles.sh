#!/usr/bin/env bash
# The simulated machine itself, under Wine: the four-port profile with decoys
# holds the device table's devices with their exact hardware IDs and
# descriptions; the installer's two enumerations (present ports by interface
# class, every device of every class) see them, ending with error 259; and the
# project's INF files install as null drivers on exactly their devices.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup machine_profiles

machine_provision full4 decoys
machine_dump before
machine_expect_devices before "Serial Port C" "Serial Port D" "Serial Port E" "Serial Port F" "ZAN 7350-21x Base" "ZAN 7350-21x Base Device" "ZAN 7350-21x Base Device 2" "ZAN 7350-21x Serial Multifunction Device"
machine_expect_base before 0
machine_expect_card before none
for port in "${M_PORTS[@]}"; do machine_expect_port before $port - 0; done
machine_expect_device before "ZAN 7350-21x Base" <<'LINES'
hardware-id "ZANDECOY\SHORTER_DESCRIPTION"
present yes
setup-class {4D36E97D-E325-11CE-BFC1-08002BE10318}
class "System"
LINES

# As the installer asks (ANSI calls, 100-byte buffers): the ports in interface
# order with their hardware ID lists, and every device by description.
machine_expect_lines "present ports" "$(machine_posmachine find ports | sed 's/^ROOT[^ ]* //')" <<'PORTS'
REG_MULTI_SZ "MF\PCI1D9E_COMF"
REG_MULTI_SZ "MF\PCI1D9E_COMC"
REG_MULTI_SZ "MF\PCI1D9E_COME"
REG_MULTI_SZ "MF\PCI1D9E_COMD"
end after 4 elements, last error 259
PORTS
machine_posmachine find all >"$E2E_DIR/all.txt"
machine_expect_lines "devices by description" "$(grep -v '^end' "$E2E_DIR/all.txt" | sed 's/^[^ ]* //')" <<'ALL'
REG_SZ "ZAN 7350-21x Base Device 2"
REG_SZ "ZAN 7350-21x Base"
REG_SZ "ZAN 7350-21x Base Device"
REG_SZ "ZAN 7350-21x Serial Multifunction Device"
REG_SZ "Serial Port C"
REG_SZ "Serial Port D"
REG_SZ "Serial Port E"
REG_SZ "Serial Port F"
ALL
grep -q '^end after [0-9]* elements, last error 259$' "$E2E_DIR/all.txt" ||
    e2e_fail "the all-classes walk did not end with 259: $(tail -n 1 "$E2E_DIR/all.txt")"

# Each table INF installs its null driver on the devices with its ID.
update() {
    local out
    out=$(machine_posmachine update "$1" "C:\\windows\\inf\\$2")
    e2e_assert_eq "UpdateDriverForPlugAndPlayDevicesA = 1, last error 00000000" "$out" "update $1 from $2"
}
update 'PCI\VEN_1D9E&DEV_0B52&SUBSYS_0B531D9E' ZANBaseD.inf
update 'PCI\VEN_1D9E&DEV_0B54&SUBSYS_0B551D9E&REV_10' '.\4port\ZAN2kmf.inf'
update 'MF\PCI1D9E_COMF' ZANPorts.inf
update 'MF\PCI1D9E_COMD' ZANPorts.inf
machine_dump after
machine_expect_base after 1
machine_expect_card after 4
for port in C F; do machine_expect_port after $port - 1; done
for device in "Serial Port D" "Serial Port E" "ZAN 7350-21x Base" "ZAN 7350-21x Base Device 2"; do
    machine_expect_unchanged before after "$device"
done

# Where Wine differs from Windows: its driver update reports success for a
# hardware ID that no device has (Windows fails with ERROR_NO_SUCH_DEVINST,
# 0xE000020B) and for an INF file that does not exist (Windows: 2). The
# failure paths are therefore tested through the stand-in newdev.dll.
update 'PCI\VEN_1D9E&DEV_0BFF' ZANBaseD.inf
update 'PCI\VEN_1D9E&DEV_0B52&SUBSYS_0B531D9E' missing.inf

e2e_finish
