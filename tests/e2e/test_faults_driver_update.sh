#!/usr/bin/env bash
# The driver update failing at each row of the device table in turn, on a
# four-port machine, through the stand-in newdev.dll: only the call for the
# chosen hardware ID fails ("no such device"); every other call goes on to
# Wine's own driver update, so the rows before the failing one really get
# their drivers. Each run must show those rows "[OK]" and the failing row
# "[Failed]" for 2 s, try no row after it and map no port, show the install
# error box with no marker written, write RESULT.FAIL (alone: the old
# RESULT.SUCCESS goes) only once the box is dismissed, and end with exit
# code 1; the machine keeps the drivers of the rows before the failing one
# and has none for the failing row and the rows after it.
#
# The runs go from the first row to the last on one machine, so that a row
# that must have no driver has never been installed by an earlier run.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup faults_driver_update

machine_provision full4
e2e_install_stub_newdev 0xE000020B
M_WATCH_ARGS=(--hold 300 --answer "$M_CAPTION=ok")

# The table's rows: description, hardware ID, INF path as the tool forms it.
desc=("ZAN 7350-21x Base Device" "ZAN 7350-21x Serial Multifunction Device"
    "ZAN 7350-21x Serial Multifunction Device" "Serial Port C" "Serial Port D" "Serial Port E" "Serial Port F")
id=('PCI\VEN_1D9E&DEV_0B52&SUBSYS_0B531D9E' 'PCI\VEN_1D9E&DEV_0B54&SUBSYS_0B551D9E&REV_10'
    'PCI\VEN_1D9E&DEV_0B54&SUBSYS_0B551D9E&REV_10' 'MF\PCI1D9E_COMF' 'MF\PCI1D9E_COMC' 'MF\PCI1D9E_COME'
    'MF\PCI1D9E_COMD')
inf=('C:\windows\INF\ZANBaseD.inf' 'C:\windows\INF\.\1port\ZAN2kmf.inf' 'C:\windows\INF\.\4port\ZAN2kmf.inf'
    'C:\windows\INF\ZANPorts.inf' 'C:\windows\INF\ZANPorts.inf' 'C:\windows\INF\ZANPorts.inf'
    'C:\windows\INF\ZANPorts.inf')
letters=(- - - C D E F)

# Wine's escaping of a trace text: backslashes and quotes escaped.
escaped() { sed -e 's/\\/\\\\/g' -e 's/"/\\"/g' <<<"$1"; }

# run_failing ROW ARGUMENTS...: one install with ARGUMENTS whose driver
# update of ROW fails; the array ROWS holds the rows the arguments select
# before it, in table order.
run_failing() {
    local row=$1 what="row $1" k
    shift
    e2e_log "$what: $*"
    touch "$E2E_WINDIR/RESULT.SUCCESS"
    export ZAN_STUB_NEWDEV_FAIL_ID=${id[$row]}
    machine_run 40 "$@"
    unset ZAN_STUB_NEWDEV_FAIL_ID

    e2e_expect_end 1 RESULT.FAIL "$what"
    machine_expect_error_box "$what" installing
    machine_expect_status < <(
        machine_status_start
        for k in "${ROWS[@]}"; do machine_status_installed "${desc[$k]}"; done
        printf '%s\n' "may: Installing ${desc[$row]}..." "must: Installing ${desc[$row]}...[Failed]"
    )
    machine_expect_trace < <(
        echo 'CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnInitDialog()\n'
        machine_trace_install_rows ${#ROWS[@]}
        printf '%s\n' '**** InstallTiDevice(), Installing Root Port USB Driver ****' '--> Installing device driver' \
            '----> Device Driver Installation failed : No such device\n' '--> Failure installing Driver'
    )
    # The driver updates made: each row before the failing one, passed on to
    # Wine and done; the failing one; none after it.
    machine_expect_lines "$what: driver updates" "$(e2e_trace_lines | grep '^stub newdev: ')" < <(
        for k in "${ROWS[@]}"; do
            echo "stub newdev: UpdateDriverForPlugAndPlayDevicesA(\\\"$(escaped "${id[$k]}")\\\", \\\"$(escaped "${inf[$k]}")\\\", flags 0x1) -> passed on, result 1\\n"
        done
        echo "stub newdev: UpdateDriverForPlugAndPlayDevicesA(\\\"$(escaped "${id[$row]}")\\\", \\\"$(escaped "${inf[$row]}")\\\", flags 0x1) -> error 0xe000020b\\n"
    )

    machine_expect_failure_order "$what"
    machine_dump "row$row"
}

# expect_ports DUMP LETTERS_WITH_DRIVER: Serial Ports C to F in DUMP, none renamed.
expect_ports() {
    local k
    for k in 3 4 5 6; do
        machine_expect_port "$1" "${letters[$k]}" "${id[$k]}" - "$([[ $2 == *${letters[$k]}* ]] && echo 1 || echo 0)"
    done
}

# Row 0 first: nothing installed.
ROWS=()
run_failing 0 INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL
machine_expect_base row0 0
machine_expect_card row0 none
expect_ports row0 ""

# Row 1, the one-port card, after the base device.
ROWS=(0)
run_failing 1 INSTALL SILENT BASE_DEVICE
machine_expect_base row1 1
machine_expect_card row1 none
expect_ports row1 ""

# Row 2, the four-port card, after the base device.
ROWS=(0)
run_failing 2 INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL
machine_expect_card row2 none
expect_ports row2 ""

# Rows 3 to 6, Serial Ports C to F, after the four-port card and the ports
# before them; the declined base device's INF goes at the start.
ROWS=(2)
run_failing 3 INSTALL SILENT MAROVEL_SERIAL
machine_expect_card row3 4
expect_ports row3 ""
machine_expect_files row3 <<'FILES'
- inf\ZANBaseD.inf
+ inf\ZANPorts.inf
+ inf\1port\ZAN2kmf.inf
+ inf\4port\ZAN2kmf.inf
FILES

ROWS=(2 3)
run_failing 4 INSTALL SILENT MAROVEL_SERIAL
expect_ports row4 C

ROWS=(2 3 4)
run_failing 5 INSTALL SILENT MAROVEL_SERIAL
expect_ports row5 CD

ROWS=(2 3 4 5)
run_failing 6 INSTALL SILENT MAROVEL_SERIAL
expect_ports row6 CDE
# The base device keeps the driver it got in the runs that chose it.
machine_expect_base row6 1

e2e_finish
