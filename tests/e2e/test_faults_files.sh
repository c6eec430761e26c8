#!/usr/bin/env bash
# Files that fight back, on one machine, in four runs:
#
# 1. "UNINSTALL" of the base device and the card, with OEM INF copies that
#    cannot be dealt with: a read-only copy (its deletion is traced
#    "----> Failed" and its PNF still goes), a folder carrying an OEM INF name
#    and a copy held open by another program without sharing (both "--> Error
#    opening file", never deleted, nor their PNF), a copy held open for
#    reading only (it is read, but its deletion fails), a copy whose PNF is
#    read-only; the copies after them are still dealt with. The old
#    RESULT.FAIL is read-only: it stays beside this run's RESULT.SUCCESS.
# 2. "INSTALL SILENT" that succeeds while a folder named RESULT.SUCCESS
#    stands where the marker goes: "--> Error creating marker file :
#    00000005h" is traced, no marker is written, the exit code is still 0.
# 3. An install that fails (stand-in newdev.dll) while the old RESULT.SUCCESS
#    is read-only and a folder named RESULT.FAIL stands where the marker
#    goes: the stale RESULT.SUCCESS stays and is the only marker file a
#    script finds, the failure marker cannot be created (traced after the
#    box), and only the exit code, 1, tells.
# 4. No keyword, with the read-only RESULT.SUCCESS left: it stays, the
#    RESULT.FAIL that can be deleted goes, nothing is traced, exit code 0.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup faults_files

FILE_HOLDER=$E2E_HELPERS/file-holder/file-holder.exe
HOLDER_PID=""
e2e_require "$FILE_HOLDER"
e2e_on_exit '[ -n "$HOLDER_PID" ] && kill "$HOLDER_PID" 2>/dev/null'

W=$E2E_WINDIR
INF=$W/inf

# expect_markers WHAT STATE: the markers there are STATE, each as "NAME
# file", "NAME file read-only" or "NAME folder", joined by "|".
expect_markers() {
    local m state=()
    for m in RESULT.FAIL RESULT.SUCCESS; do
        if [ -d "$W/$m" ]; then
            state+=("$m folder")
        elif [ -f "$W/$m" ]; then
            [ $((0$(stat -c %a "$W/$m") & 0222)) -eq 0 ] && state+=("$m file read-only") || state+=("$m file")
        fi
    done
    e2e_assert_eq "$2" "$(IFS='|'; echo "${state[*]}")" "$1: markers"
}

# --- 1. OEM INF copies that cannot be opened or deleted ----------------------
machine_provision full1
machine_put_oem 20 "$M_BASE_ID"
chmod a-w "$INF/oem20.inf"             # read-only
mkdir "$INF/oem21.inf"                 # a folder
machine_put_oem 22 "$M_BASE_ID"                      # held without sharing
machine_put_oem 23 "$M_BASE_ID"                      # held, reading shared
machine_put_oem 24 "$M_BASE_ID"
chmod a-w "$INF/oem24.pnf"             # its PNF read-only
machine_put_oem 25 "$M_BASE_ID"
machine_put_oem 26 "$M_CARD_ID"
machine_put_oem 27 'PCI\VEN_8086&DEV_1C3D'
: >"$INF/ZANBaseD.pnf"
: >"$INF/1port/ZAN2kmf.pnf"
touch "$W/RESULT.FAIL"
chmod a-w "$W/RESULT.FAIL"

wine "$FILE_HOLDER" 60 none 'C:\windows\inf\oem22.inf' read 'C:\windows\inf\oem23.inf' >"$E2E_DIR/holder.log" 2>&1 &
HOLDER_PID=$!
wine_env_wait_file "$E2E_DIR/holder.log" 5 "$HOLDER_PID"
grep -q '^holding' "$E2E_DIR/holder.log" || e2e_fail "the files are not held: $(cat "$E2E_DIR/holder.log")"
machine_dump before1

e2e_log "uninstall with OEM copies that cannot be opened or deleted"
machine_run 30 UNINSTALL
kill "$HOLDER_PID" 2>/dev/null
wait "$HOLDER_PID" 2>/dev/null
HOLDER_PID=""
machine_dump after1

e2e_assert_eq 0 "$E2E_EXIT" "uninstall: exit code"
expect_markers uninstall "RESULT.FAIL file read-only|RESULT.SUCCESS file"
e2e_assert_eq "" "$(machine_boxes_seen)" "uninstall: message boxes"
machine_expect_status < <(machine_status_uninstall OK OK)
machine_expect_trace < <(
    machine_trace_uninstall_start
    machine_trace_removed # the base device's copies
    machine_trace_oem_cleanup
    machine_trace_oem_copy oem20.inf inf_failed
    machine_trace_oem_copy oem21.inf unopenable
    machine_trace_oem_copy oem22.inf unopenable
    machine_trace_oem_copy oem23.inf inf_failed
    machine_trace_oem_copy oem24.inf pnf_failed
    machine_trace_oem_copy oem25.inf deleted
    machine_trace_oem_copy oem26.inf not_found
    machine_trace_oem_copy oem27.inf not_found
    machine_trace_removed # the card's copies: what is left of them
    machine_trace_oem_cleanup
    machine_trace_oem_copy oem20.inf not_found
    machine_trace_oem_copy oem21.inf unopenable
    machine_trace_oem_copy oem22.inf unopenable
    machine_trace_oem_copy oem23.inf not_found
    machine_trace_oem_copy oem26.inf deleted
    machine_trace_oem_copy oem27.inf not_found
    printf '%s\n' '--> Device Enumeration(FindDevice)' '----> No more devices\n'
)
machine_expect_files after1 <<'FILES'
+ inf\oem20.inf
- inf\oem20.pnf
+ inf\oem22.inf
+ inf\oem22.pnf
+ inf\oem23.inf
- inf\oem23.pnf
- inf\oem24.inf
+ inf\oem24.pnf
- inf\oem25.inf
- inf\oem25.pnf
- inf\oem26.inf
- inf\oem26.pnf
+ inf\oem27.inf
+ inf\oem27.pnf
- inf\ZANBaseD.inf
- inf\ZANBaseD.pnf
- inf\1port\ZAN2kmf.inf
- inf\1port\ZAN2kmf.pnf
+ inf\4port\ZAN2kmf.inf
+ inf\ZANPorts.inf
FILES
[ -d "$INF/oem21.inf" ] || e2e_fail "uninstall: the folder oem21.inf is gone"
# The copies that stayed are whole.
for n in 20 22 23; do
    grep -qF "$M_BASE_ID" "$INF/oem$n.inf" || e2e_fail "uninstall: oem$n.inf lost its content"
done
machine_expect_devices after1 "Serial Port C"
machine_expect_unchanged before1 after1 "Serial Port C"

# --- 2. A succeeded install whose marker cannot be created -----------------
chmod u+w "$W/RESULT.FAIL"
rm -f "$W/RESULT.SUCCESS"
mkdir "$W/RESULT.SUCCESS"
e2e_log "install with a folder named RESULT.SUCCESS"
machine_run 30 INSTALL SILENT
machine_dump after2

e2e_assert_eq 0 "$E2E_EXIT" "install, marker folder: exit code"
expect_markers "install, marker folder" "RESULT.SUCCESS folder"
e2e_assert_eq "" "$(ls -A "$W/RESULT.SUCCESS")" "install, marker folder: the folder's contents"
e2e_assert_eq "" "$(machine_boxes_seen)" "install, marker folder: message boxes"
machine_expect_status < <(
    machine_status_start
    machine_status_installed "ZAN 7350-21x Serial Multifunction Device" "Serial Port C"
    machine_status_mapped C
)
machine_expect_trace < <(
    machine_trace_install 2 1
    echo '--> Error creating marker file : 00000005h'
)
machine_expect_port after2 C COM3 1

# --- 3. A failed install with a stale RESULT.SUCCESS that cannot be deleted --
rmdir "$W/RESULT.SUCCESS"
touch "$W/RESULT.SUCCESS"
chmod a-w "$W/RESULT.SUCCESS"
mkdir "$W/RESULT.FAIL"
e2e_install_stub_newdev 0xE000020B
M_WATCH_ARGS=(--hold 300 --answer "$M_CAPTION=ok")
e2e_log "failing install with a read-only RESULT.SUCCESS and a folder named RESULT.FAIL"
machine_run 30 INSTALL SILENT

e2e_assert_eq 1 "$E2E_EXIT" "failed install, stale marker: exit code"
expect_markers "failed install, stale marker" "RESULT.FAIL folder|RESULT.SUCCESS file read-only"
machine_expect_error_box "failed install, stale marker" installing RESULT.FAIL,RESULT.SUCCESS
machine_expect_status < <(
    machine_status_start
    printf '%s\n' "may: Installing ZAN 7350-21x Serial Multifunction Device..." \
        "must: Installing ZAN 7350-21x Serial Multifunction Device...[Failed]"
)
machine_expect_trace <<'TRACE'
CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnInitDialog()\n
**** InstallTiDevice(), Installing Root Port USB Driver ****
--> Installing device driver
----> Device Driver Installation failed : No such device\n
--> Failure installing Driver
--> Error creating marker file : 00000005h
TRACE
# The marker is tried only once the box is gone: the trace line comes from
# the worker after the box's text.
[ "$(grep -n -m1 'Error creating marker file' "$E2E_TRACE" | cut -d: -f1)" -gt \
    "$(grep -n -m1 'MSGBOX_OnInit' "$E2E_TRACE" | cut -d: -f1)" ] 2>/dev/null ||
    e2e_fail "failed install, stale marker: the marker was tried before the box"

# --- 4. No keyword, with a read-only old marker ------------------------------
rmdir "$W/RESULT.FAIL"
touch "$W/RESULT.FAIL"
e2e_log "no keyword with a read-only RESULT.SUCCESS"
M_WATCH_ARGS=()
machine_run 15 /quiet

e2e_assert_eq 0 "$E2E_EXIT" "no keyword: exit code"
expect_markers "no keyword" "RESULT.SUCCESS file read-only"
machine_expect_trace <<'TRACE'
CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnInitDialog()\n
TRACE
machine_expect_status < <(machine_status_start)

e2e_finish
