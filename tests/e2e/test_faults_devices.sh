#!/usr/bin/env bash
# Device setup calls that fail, on a four-port machine, in three runs. The
# failures come from the machine's registry and from stand-in setupapi.dll
# and shell32.dll files that only the installer loads (per-program DLL
# overrides for ZanDriverInstaller.exe); the setupapi stand-in hands every
# call to Wine's own setupapi except the one it is told to fail, and traces
# that one.
#
# 1. "INSTALL SILENT MAROVEL_SERIAL" (the stand-in newdev.dll's driver
#    updates succeed without installing anything) where Serial Port D has no
#    "Device Parameters" key and the friendly name of Serial Port E, the
#    second written, is refused: D shows "[Failed]" after "----> Error opening
#    device parameters key" with nothing written; E shows "[Failed]" after
#    "----> Error writing updated friendly name" and keeps the port name
#    written before it; C and F are renamed all the same, and the install
#    succeeds: RESULT.SUCCESS, exit code 0, no box.
# 2. "UNINSTALL" where the second removal (the card's) fails: the base device
#    is removed, its OEM INF copy and its INF and PNF files deleted (the
#    copy's driver package removal fails too: traced with its code, and the
#    copy and its PNF are deleted all the same); the card shows "[Failed]" and
#    keeps its device, its OEM copy and its INF; the error box comes before
#    any marker, RESULT.FAIL after it, exit code 1.
# (An uninstall whose device list cannot be obtained is a scenario of the
# catalogue, tests/scenarios/catalogue.txt.)
# 3. "UNINSTALL" where the shell cannot tell the Windows folder: the card is
#    removed and its own INF and PNF files deleted, but no OEM INF copy is
#    looked at or deleted.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup faults_devices

INF=$E2E_WINDIR/inf

machine_provision full4
e2e_install_stub_newdev
e2e_install_stub_for_program setupapi
machine_dump before

# --- 1. Port mapping: a missing key, a refused friendly name ----------------
# The instance ID of Serial Port D (the full dump keeps them).
port_d=$(awk '$0 == "device \"Serial Port D\"" { on = 1; next } /^device / { on = 0 }
    on && /^  instance / { print $2 }' "$E2E_DIR/before.full")
[ -n "$port_d" ] || e2e_fail "no instance ID for Serial Port D"
timeout 60 wine reg delete "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\$port_d\\Device Parameters" /f >/dev/null 2>&1 ||
    e2e_fail "the Device Parameters key of $port_d could not be deleted"
machine_dump keyless
machine_expect_lines "Serial Port D before the run" "$(machine_device keyless "Serial Port D" | grep parameters)" <<'LINES'
device-parameters absent
LINES

export ZAN_STUB_SETUPAPI_FAIL='SetupDiSetDeviceRegistryPropertyA#2'
e2e_log "install: no key for Serial Port D, Serial Port E's friendly name refused"
machine_run 60 INSTALL SILENT MAROVEL_SERIAL
machine_dump after1

machine_expect_success
e2e_assert_eq "" "$(machine_boxes_seen)" "install: message boxes"
machine_expect_status < <(
    machine_status_start
    machine_status_installed "ZAN 7350-21x Serial Multifunction Device" \
        "Serial Port C" "Serial Port D" "Serial Port E" "Serial Port F"
    machine_status_mapped C
    printf '%s\n' "may: Mapping Serial Port D to COM4..." "must: Mapping Serial Port D to COM4...[Failed]" \
        "may: Mapping Serial Port E to COM5..." "must: Mapping Serial Port E to COM5...[Failed]"
    machine_status_mapped F
)
machine_expect_trace < <(
    echo 'CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnInitDialog()\n'
    machine_trace_install_rows 5
    machine_trace_mapped 2
    printf '%s\n' '----> Error opening device parameters key' '--> Error assigning COM port'
    machine_trace_found 2
    printf '%s\n' 'stub setupapi: SetupDiSetDeviceRegistryPropertyA call 2 -> error 0x00000005\n' \
        '----> Error writing updated friendly name\n' '--> Error assigning COM port'
    machine_trace_found 3
)
machine_expect_port after1 C COM3 0
machine_expect_port after1 F COM6 0
machine_expect_port after1 D nokey 0
machine_expect_port after1 E port:COM5 0
# The stand-in stayed in the installer's process: Wine's own setupapi served
# the dumps above, and the device database is whole.
machine_expect_devices after1 "Serial Port C" "Serial Port D" "Serial Port E" "Serial Port F" "ZAN 7350-21x Base Device" "ZAN 7350-21x Serial Multifunction Device"

# --- 2. Uninstall: the card's removal fails after the base device's ---------
machine_provision empty # the table's INF files afresh (the install deleted ZANBaseD.inf)
: >"$INF/ZANBaseD.pnf"
: >"$INF/1port/ZAN2kmf.pnf"
machine_put_oem 30 "$M_BASE_ID"
machine_put_oem 31 "$M_CARD_ID"
export ZAN_STUB_SETUPAPI_FAIL='SetupDiRemoveDevice#2,SetupUninstallOEMInfA'
M_WATCH_ARGS=(--hold 300 --answer "$M_CAPTION=ok")
e2e_log "uninstall: the card's removal fails"
machine_run 30 UNINSTALL
machine_dump after2

e2e_expect_end 1 RESULT.FAIL "uninstall, removal fails"
machine_expect_error_box "uninstall, removal fails" uninstalling
machine_expect_fail_after_box "uninstall, removal fails"
machine_expect_status < <(machine_status_uninstall OK Failed)
machine_expect_trace < <(
    machine_trace_uninstall_start
    machine_trace_removed
    machine_trace_oem_cleanup
    printf '%s\n' oem30.inf '--> Opening OEM* File' '----> Search Key Found!' '----> Uninstalling Driver Package' \
        'stub setupapi: SetupUninstallOEMInfA call 1 -> error 0x00000005\n' \
        '----> Driver Package Uninstall failed : GetLastError() = 00000005h' \
        '----> Deleting INF File' '----> Deleting PNF File'
    machine_trace_oem_copy oem31.inf not_found
    machine_trace_removed
    echo 'stub setupapi: SetupDiRemoveDevice call 2 -> error 0x00000005\n'
)
machine_expect_devices after2 "Serial Port C" "Serial Port D" "Serial Port E" "Serial Port F" "ZAN 7350-21x Serial Multifunction Device"
machine_expect_unchanged after1 after2 "ZAN 7350-21x Serial Multifunction Device"
machine_expect_files after2 <<'FILES'
- inf\oem30.inf
- inf\oem30.pnf
- inf\ZANBaseD.inf
- inf\ZANBaseD.pnf
+ inf\oem31.inf
+ inf\oem31.pnf
+ inf\1port\ZAN2kmf.inf
+ inf\1port\ZAN2kmf.pnf
+ inf\4port\ZAN2kmf.inf
+ inf\ZANPorts.inf
FILES

# --- 3. Uninstall without the Windows folder -----------------------------------
e2e_install_stub_for_program shell32
export ZAN_STUB_SHELL32_FAIL=1
e2e_log "uninstall: no Windows folder from the shell"
machine_run 30 UNINSTALL
unset ZAN_STUB_SHELL32_FAIL
machine_dump after4

machine_expect_success
e2e_assert_eq "" "$(machine_boxes_seen)" "uninstall, no Windows folder: message boxes"
machine_expect_status < <(machine_status_uninstall - OK)
machine_expect_trace < <(
    machine_trace_uninstall_start
    printf '%s\n' '--> Device Enumeration(FindDevice)' '----> No more devices\n'
    machine_trace_removed
    printf '%s\n' '----> Removing all OEM*.inf/pnf files associated with the specified search key' \
        '----> Retreiving the windows path' 'stub shell32: SHGetFolderPathA(0x24) -> 0x80004005\n' \
        '----> Windows path not available : 80004005h'
    printf '%s\n' '--> Device Enumeration(FindDevice)' '----> No more devices\n'
)
machine_expect_devices after4 "Serial Port C" "Serial Port D" "Serial Port E" "Serial Port F"
machine_expect_files after4 <<'FILES'
+ inf\oem31.inf
+ inf\oem31.pnf
- inf\1port\ZAN2kmf.inf
- inf\1port\ZAN2kmf.pnf
+ inf\4port\ZAN2kmf.inf
+ inf\ZANPorts.inf
FILES

e2e_finish
