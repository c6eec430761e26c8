#!/usr/bin/env bash
# The driver update failing, on a four-port machine, through the stand-in
# newdev.dll: only the call for the chosen row's hardware ID fails, with the
# error given; every other call goes on to Wine's own driver update, so the
# rows before the failing one really get their drivers. Each run must trace
# the cause (2, 1004 and 0xE000020B are told apart, another error is given as
# its code), show those rows "[OK]" and the failing row "[Failed]" for 2 s,
# try no row after it and map no port, show the install error box with no
# marker written, write RESULT.FAIL (alone: the old RESULT.SUCCESS goes) only
# once the box is dismissed, and end with exit code 1; the machine keeps the
# drivers of the rows before the failing one and has none for the failing row
# and the rows after it.
#
# First each error at the first row its selection tries (a declined base
# device's INF is deleted although the install fails); then 0xE000020B at
# each row in turn, from the first to the last on one machine, so that a row
# that must have no driver has never been installed by an earlier run.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup faults_driver_update

machine_provision full4
e2e_install_stub_newdev
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
no_device=(0xE000020B "No such device")

# Wine's escaping of a trace text: backslashes and quotes escaped.
escaped() { sed -e 's/\\/\\\\/g' -e 's/"/\\"/g' <<<"$1"; }

# run_failing ROW ERROR CAUSE ARGUMENTS...: one install with ARGUMENTS whose
# driver update of ROW fails with ERROR, traced as CAUSE; the array ROWS
# holds the rows the arguments select before it, in table order. The
# machine afterwards is dump DUMP.
run_failing() {
    local row=$1 error=$2 cause=$3 what="row $1, error $2" k
    shift 3
    e2e_log "$what: $*"
    touch "$E2E_WINDIR/RESULT.SUCCESS"
    export ZAN_STUB_NEWDEV_FAIL_ID=${id[$row]} ZAN_STUB_NEWDEV_ERROR=$error
    machine_run 40 "$@"

    e2e_expect_end 1 RESULT.FAIL "$what"
    machine_expect_error_box "$what" installing
    machine_expect_status < <(
        machine_status_start
        for k in "${ROWS[@]}"; do machine_status_installed "${desc[$k]}"; done
        printf '%s\n' "may: Installing ${desc[$row]}..." "must: Installing ${desc[$row]}...[Failed]"
    )
    machine_expect_trace < <(
        echo 'CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnInitDialog()\n'
        machine_trace_install_rows $((${#ROWS[@]} + 1))
        printf '%s\n' "----> Device Driver Installation failed : $cause\\n" '--> Failure installing Driver'
    )
    # The driver updates made: each row before the failing one, passed on to
    # Wine and done; the failing one; none after it.
    machine_expect_lines "$what: driver updates" "$(e2e_trace_lines | grep '^stub newdev: ')" < <(
        for k in "${ROWS[@]}" "$row"; do
            printf 'stub newdev: UpdateDriverForPlugAndPlayDevicesA(\\"%s\\", \\"%s\\", flags 0x1) -> %s\\n\n' \
                "$(escaped "${id[$k]}")" "$(escaped "${inf[$k]}")" \
                "$([ "$k" = "$row" ] && printf 'error 0x%08x' "$error" || echo 'passed on, result 1')"
        done
    )

    machine_expect_failure_order "$what"
    DUMP=row$row-$error
    machine_dump "$DUMP"
}

# expect_ports LETTERS_WITH_DRIVER: Serial Ports C to F in DUMP, none renamed.
expect_ports() {
    local p
    for p in "${M_PORTS[@]}"; do machine_expect_port "$DUMP" $p - "$([[ $1 == *$p* ]] && echo 1 || echo 0)"; done
}

# Each error at the first row tried, the table's INF files afresh after a
# run that declined the base device.
ROWS=()
run_failing 1 2 "INF File Not Found" INSTALL SILENT
machine_expect_files "$DUMP" <<<'- inf\ZANBaseD.inf'
machine_provision empty
run_failing 2 5 "GetLastError() = 00000005h" INSTALL SILENT MAROVEL_SERIAL
machine_expect_files "$DUMP" <<'FILES'
- inf\ZANBaseD.inf
+ inf\4port\ZAN2kmf.inf
FILES
machine_provision empty
run_failing 0 1004 "Invalid Flags" INSTALL SILENT BASE_DEVICE
run_failing 0 "${no_device[@]}" INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL
# None of them installed or renamed anything.
machine_expect_base "$DUMP" 0
machine_expect_card "$DUMP" none
expect_ports ""

# Row 1, the one-port card, after the base device.
ROWS=(0)
run_failing 1 "${no_device[@]}" INSTALL SILENT BASE_DEVICE
machine_expect_base "$DUMP" 1
machine_expect_card "$DUMP" none
expect_ports ""

# Row 2, the four-port card, after the base device.
ROWS=(0)
run_failing 2 "${no_device[@]}" INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL
machine_expect_card "$DUMP" none
expect_ports ""

# Rows 3 to 6, Serial Ports C to F, after the four-port card and the ports
# before them; the declined base device's INF goes at the start.
ROWS=(2)
run_failing 3 "${no_device[@]}" INSTALL SILENT MAROVEL_SERIAL
machine_expect_card "$DUMP" 4
expect_ports ""
machine_expect_files "$DUMP" <<'FILES'
- inf\ZANBaseD.inf
+ inf\ZANPorts.inf
+ inf\1port\ZAN2kmf.inf
+ inf\4port\ZAN2kmf.inf
FILES

ROWS=(2 3)
run_failing 4 "${no_device[@]}" INSTALL SILENT MAROVEL_SERIAL
expect_ports C

ROWS=(2 3 4)
run_failing 5 "${no_device[@]}" INSTALL SILENT MAROVEL_SERIAL
expect_ports CD

ROWS=(2 3 4 5)
run_failing 6 "${no_device[@]}" INSTALL SILENT MAROVEL_SERIAL
expect_ports CDE
# The base device keeps the driver it got in the runs that chose it.
machine_expect_base "$DUMP" 1

e2e_finish
