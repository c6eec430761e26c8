#!/usr/bin/env bash
# "UNINSTALL" on a four-port machine whose base device and card have drivers,
# with decoy devices and OEM INF copies: the base device and the card are
# found by their exact descriptions and removed, the decoys (a longer
# description, and a shorter piece of it, both met first in the search) and
# the serial ports stay. Of the OEM INF files only those naming a removed
# device's hardware ID on one line are deleted, with their .pnf (oem10 for the
# base device; oem14 for the card, whose missing .pnf is traced "----> Failed");
# an ID cut short (oem11), split across two lines (oem12), in UTF-16 (oem13) or
# another vendor's (oem15) keeps its file. Each copy that goes is first
# handed to the driver package removal, which Wine answers with success and
# its "not deleting" fixme line, for exactly those copies; the files left are
# those the cleanup's own deletions leave. The removed rows' own INF and PNF
# files go; the four-port package, with no second card found, stays.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup uninstall_full

machine_provision full4 decoys --oem
machine_posmachine update 'PCI\VEN_1D9E&DEV_0B52&SUBSYS_0B531D9E' 'C:\windows\inf\ZANBaseD.inf' >/dev/null
machine_posmachine update 'PCI\VEN_1D9E&DEV_0B54&SUBSYS_0B551D9E&REV_10' 'C:\windows\inf\1port\ZAN2kmf.inf' >/dev/null
: >"$E2E_WINDIR/inf/4port/ZAN2kmf.pnf"
touch "$E2E_WINDIR/RESULT.FAIL"
machine_dump before
machine_expect_base before 1
machine_expect_card before 1

machine_run 30 UNINSTALL
machine_dump after

machine_expect_success
machine_expect_status < <(machine_status_uninstall OK OK)

# scan KEY_FILE [pnf_failed]: the trace of one OEM INF cleanup over oem10 to
# oem15 (oem10 only while it is there), in the order the INF folder lists them
# under Wine (by name), KEY_FILE holding the key (and lacking its .pnf).
scan() {
    local n
    machine_trace_oem_cleanup
    for n in 10 11 12 13 14 15; do
        [ $n = 10 ] && [ "$1" != oem10 ] && continue
        machine_trace_oem_copy "oem$n.inf" "$([ "oem$n" = "$1" ] && echo "${2:-deleted}" || echo not_found)"
    done
}
machine_expect_trace < <(
    machine_trace_uninstall_start
    machine_trace_removed
    scan oem10
    machine_trace_removed
    scan oem14 pnf_failed
    printf '%s\n' '--> Device Enumeration(FindDevice)' '----> No more devices\n'
)

# Wine's own word on each package removal, in the order they were made.
machine_expect_lines "package removals" \
    "$(sed -n 's/^[0-9a-f]*:fixme:setupapi:SetupUninstallOEMInfW not deleting L"\(.*\)"$/\1/p' "$E2E_TRACE")" <<'CALLS'
C:\\windows\\inf\\oem10.inf
C:\\windows\\inf\\oem14.inf
CALLS

machine_expect_devices after "Serial Port C" "Serial Port D" "Serial Port E" "Serial Port F" "ZAN 7350-21x Base" "ZAN 7350-21x Base Device 2"
for device in "ZAN 7350-21x Base" "ZAN 7350-21x Base Device 2" "Serial Port C" "Serial Port F"; do
    machine_expect_unchanged before after "$device"
done
machine_expect_files after <<'FILES'
- inf\oem10.inf
- inf\oem10.pnf
+ inf\oem11.inf
+ inf\oem11.pnf
+ inf\oem12.inf
+ inf\oem12.pnf
+ inf\oem13.inf
+ inf\oem13.pnf
- inf\oem14.inf
+ inf\oem15.inf
+ inf\oem15.pnf
- inf\ZANBaseD.inf
- inf\ZANBaseD.pnf
- inf\1port\ZAN2kmf.inf
+ inf\4port\ZAN2kmf.inf
+ inf\4port\ZAN2kmf.pnf
+ inf\ZANPorts.inf
FILES

e2e_finish
