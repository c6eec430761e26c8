#!/usr/bin/env bash
# CHECK reads the machine and changes nothing, on both programs (the 32-bit
# one through its hand-over on a 64-bit machine).
#
# 1. A four-port machine before any install: "CHECK MAROVEL_SERIAL" exits 1
#    and its captured output names what is missing; "CHECK UNINSTALL" exits 1
#    too (the card and the base device are there).
# 2. After "INSTALL SILENT MAROVEL_SERIAL": exit 0 and the verdict line
#    "ZAN drivers installed: Serial Ports C to F are COM3 to COM6" on the
#    captured standard output, from either program.
# 3. Serial Port D renamed COM7 by hand: exit 1, naming that port.
# 4. After "UNINSTALL": "CHECK UNINSTALL" exits 0.
# 5. Ports whose driver stack exposes no serial-port interface get COM3 to
#    COM6 and their friendly names all the same, and CHECK agrees.
# The machine's state (devices, drivers, port names, INF folder, markers) is
# the same before and after every check, and a check shows no window.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup check

# The programs that run a check: this architecture's own, and on a 64-bit
# machine that can start it the 32-bit one in the folder make dist ships.
checkers=("$E2E_EXE")
if [ "$E2E_ARCH" = win64 ] && e2e_runs_32bit; then
    mkdir -p "$E2E_DIR/app/x64"
    cp "$E2E_EXE32" "$E2E_DIR/app/ZanDriverInstaller.exe"
    cp "$E2E_EXE64" "$E2E_DIR/app/x64/ZanDriverInstaller.exe"
    checkers+=("$E2E_DIR/app/ZanDriverInstaller.exe")
elif [ "$E2E_ARCH" = win64 ]; then
    e2e_log "SKIPPED: the 32-bit program's hand-over (this machine cannot start 32-bit programs)"
fi
n=0

# check CODE OUTPUT ARGUMENTS...: each checker run with ARGUMENTS ends with
# exit code CODE, writes the line OUTPUT to its captured standard output,
# shows no window and leaves the machine's state as it was.
check() {
    local code=$1 output=$2 exe
    shift 2
    for exe in "${checkers[@]}"; do
        n=$((n + 1))
        e2e_log "$(basename "$(dirname "$exe")")/$(basename "$exe") $*"
        machine_dump "before$n"
        M_WATCH_ARGS=(--timeout 3)
        E2E_EXE=$exe machine_run 60 "$@"
        M_WATCH_ARGS=()
        machine_dump "after$n"
        e2e_assert_eq "$code" "$E2E_EXIT" "$* (run $n): exit code"
        e2e_assert_eq "$output" "$(tr -d '\r' <"$E2E_DIR/program.out")" "$* (run $n): captured output"
        e2e_assert_eq "" "$(grep 'window shown' "$M_WATCH_LOG")" "$* (run $n): a window"
        cmp -s "$E2E_DIR/before$n.full" "$E2E_DIR/after$n.full" ||
            e2e_fail "$* (run $n) changed the machine: $(diff "$E2E_DIR/before$n.full" "$E2E_DIR/after$n.full" | head -5)"
    done
}

# --- 1 to 4 -----------------------------------------------------------------
machine_provision full4
touch "$E2E_WINDIR/RESULT.FAIL"
missing="ZAN drivers not installed: ZAN 7350-21x Serial Multifunction Device has no driver"
for i in 0 1 2 3; do
    missing+="; Serial Port ${M_PORTS[$i]} has no driver; Serial Port ${M_PORTS[$i]} is unnamed, not COM$((3 + i))"
done
check 1 "$missing" CHECK MAROVEL_SERIAL
check 1 "ZAN drivers not removed: ZAN 7350-21x Base Device is still there; ZAN 7350-21x Serial Multifunction Device is still there" \
    CHECK UNINSTALL

e2e_log "INSTALL SILENT MAROVEL_SERIAL"
machine_run 60 INSTALL SILENT MAROVEL_SERIAL
machine_expect_success
installed="ZAN drivers installed: Serial Ports C to F are COM3 to COM6"
check 0 "$installed" CHECK MAROVEL_SERIAL

port_d=$(awk '$0 == "device \"Serial Port D\"" { on = 1; next } /^device / { on = 0 }
    on && /^  instance / { print $2 }' "$E2E_DIR/after$n.full")
timeout 60 wine reg add "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\$port_d\\Device Parameters" /v PortName /d COM7 /f \
    >/dev/null 2>&1 || e2e_fail "Serial Port D could not be renamed by hand"
check 1 "ZAN drivers not installed: Serial Port D is COM7, not COM4" CHECK MAROVEL_SERIAL

e2e_log "UNINSTALL"
machine_run 60 UNINSTALL
machine_expect_success
check 0 "ZAN drivers removed: no card, no base device, no OEM INF copy of theirs" CHECK UNINSTALL

# --- 5. Ports without the interface ---------------------------------------------
wine_env_stop_wine "$WINEPREFIX"
e2e_new_prefix
machine_provision full4 nointerface
M_PORTS_INTERFACE=0
e2e_log "INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL, ports without the interface"
machine_run 60 INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL
machine_expect_success
machine_dump plain
for i in 0 1 2 3; do machine_expect_port plain "${M_PORTS[$i]}" "COM$((3 + i))" 1; done
check 0 "ZAN drivers installed: base device; Serial Ports C to F are COM3 to COM6" CHECK BASE_DEVICE MAROVEL_SERIAL

e2e_finish
