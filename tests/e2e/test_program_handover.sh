#!/usr/bin/env bash
# The 32-bit program as it is shipped, signed, in the folder of make dist
# (below a folder with a space in its name) that holds the signed 64-bit
# program in x64\, on both machines; this test runs the 32-bit program
# whatever the run's architecture.
#
# On a 32-bit machine (win32 run) it never hands over: a silent install is
# its own, traced as always, though an x64 folder is there.
#
# On a 64-bit machine (win64 run) it hands every run to x64\ZanDriverInstaller.exe:
# 1. A full install ends exactly as the 64-bit program's own run does: the
#    same status lines in one window, the same trace between the two lines of
#    the hand-over, the same devices, RESULT.SUCCESS, exit code 0.
#    A check through it ends with the 64-bit program's exit code and its
#    verdict line on the 32-bit program's captured output, no window shown.
# 2. An install that fails: the 64-bit program's error box, its RESULT.FAIL
#    (the old RESULT.SUCCESS gone), and its exit code 1 back.
# 3. With a program in x64\ that echoes its command line: it gets its quoted
#    path and then the argument text unchanged, quotes and all, and its exit
#    code (7) comes back.
# 4. Without the 64-bit program: no window; the old markers go, an error box
#    says this is the 32-bit program and names the 64-bit one with its full
#    path; RESULT.FAIL only once the box is dismissed, exit code 1.
# 5. UNATTENDED with /LOG= naming a file in System32: the 64-bit program gets
#    the option unchanged and is not refused (the 32-bit one holds no lock
#    meanwhile); one log holds the 32-bit program's own four lines around the
#    hand-over and the 64-bit program's whole run (the 32-bit program opens
#    it past the redirection to SysWOW64).
# 6. UNATTENDED without the 64-bit program: no box at all, RESULT.FAIL, exit 1.
# 7. A log that a hard link leads elsewhere: refused by both programs.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup program_handover
[ "$WINE_ENV_RUNS_32BIT" = 1 ] || e2e_skip "this machine cannot start the 32-bit program"

# The folder make dist ships, both programs signed with a throwaway certificate.
e2e_signing_certs "$E2E_DIR/pki"
SIGN_CERT=$E2E_DIR/pki/signer.pem SIGN_KEY=$E2E_DIR/pki/signer.key SIGN_CA=$E2E_DIR/pki/ca.pem \
    "$E2E_ROOT/tools/dist.sh" "$E2E_DIR/ZAN Tools" >"$E2E_DIR/dist.out" 2>&1 ||
    { e2e_fail "make dist with a signature failed: $(tail -n 1 "$E2E_DIR/dist.out")"; e2e_finish; }
app="$E2E_DIR/ZAN Tools/dist"
E2E_EXE=$app/ZanDriverInstaller.exe

# The 64-bit program's path as the trace shows it (Wine's escaping), and as the watch shows it.
native=$(winepath_of "$app/x64/ZanDriverInstaller.exe")
native_traced=${native//\\/\\\\}
handing_over="--> 32-bit program on 64-bit Windows, handing over to $native_traced"

# A stand-in for the 64-bit program: traces its command line and the argument
# text WinMain got, and ends with exit code 7.
cat >"$E2E_DIR/echo.c" <<'C'
#include <windows.h>
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show) {
    (void)instance; (void)previous; (void)show;
    OutputDebugStringA(GetCommandLineA());
    OutputDebugStringA(arguments);
    return 7;
}
C
x86_64-w64-mingw32-gcc -O2 -mwindows -o "$E2E_DIR/echo.exe" "$E2E_DIR/echo.c" ||
    { e2e_fail "cannot build the echo program"; e2e_finish; }

# no_window WHAT ARGUMENTS...: a run of the 32-bit program under the watch
# (with the options in M_WATCH_ARGS) that shows no progress window.
no_window() {
    local what=$1
    shift
    e2e_log "$what"
    machine_run 30 "$@"
    grep -q 'window shown' "$M_WATCH_LOG" && e2e_fail "$what: a progress window was shown"
    return 0
}

if [ "$E2E_ARCH" = win32 ]; then
    cp "$E2E_DIR/echo.exe" "$app/x64/ZanDriverInstaller.exe"
    # The card and Serial Port C installed and mapped, the base device left
    # without a driver and its INF removed.
    machine_provision full1
    machine_run 40 INSTALL SILENT
    machine_dump after
    e2e_expect_end 0 RESULT.SUCCESS
    e2e_assert_eq "" "$(machine_boxes_seen)" "message boxes"
    machine_expect_install after 0 1
    machine_expect_trace < <(machine_trace_install 2 1)
    machine_files after | grep -qixF 'inf\ZANBaseD.inf' && e2e_fail "inf\ZANBaseD.inf is still there"
    e2e_finish
fi

# --- 1. A full install through the hand-over -----------------------------------
machine_provision full4
touch "$E2E_WINDIR/RESULT.FAIL"
e2e_log "full install through the hand-over"
machine_run 60 INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL
machine_dump after
e2e_expect_end 0 RESULT.SUCCESS
machine_expect_lines "windows shown" "$(grep -c 'window shown' "$M_WATCH_LOG")" <<<1
machine_expect_install after 1 4
machine_expect_trace < <(
    echo "$handing_over"
    machine_trace_install 6 4
    echo '--> 64-bit program ended with exit code 0'
)
# A check is handed over too, with the 32-bit program's captured output: the
# verdict line is the 64-bit program's, and no window shows.
e2e_log "CHECK through the hand-over"
M_WATCH_ARGS=(--timeout 3)
machine_run 60 CHECK BASE_DEVICE MAROVEL_SERIAL
M_WATCH_ARGS=()
e2e_assert_eq 0 "$E2E_EXIT" "check through the hand-over: exit code"
e2e_assert_eq "ZAN drivers installed: base device; Serial Ports C to F are COM3 to COM6" \
    "$(tr -d '\r' <"$E2E_DIR/program.out")" "check through the hand-over: captured output"
e2e_assert_eq "" "$(grep 'window shown' "$M_WATCH_LOG")" "check through the hand-over: a window"

# --- 2. An install that fails in the 64-bit program ----------------------------
e2e_install_stub_newdev 0xE000020B
touch "$E2E_WINDIR/RESULT.SUCCESS"
M_WATCH_ARGS=(--hold 300 --answer "$M_CAPTION=ok")
e2e_log "failing install through the hand-over"
machine_run 30 INSTALL SILENT
e2e_expect_end 1 RESULT.FAIL "failed install"
e2e_assert_eq "$M_CAPTION|An error was encountered while installing the drivers.|OK|none" "$(machine_boxes_seen)" \
    "failed install: message boxes"
machine_expect_failure_order "failed install"
e2e_assert_eq '--> 64-bit program ended with exit code 1' "$(machine_tool_trace | tail -n 1)" "failed install: last trace line"
unset ZAN_STUB_NEWDEV_ERROR

# --- 5. UNATTENDED with a log, through the hand-over ---------------------------
log=$E2E_WINDIR/system32/zan-handover.log
rm -f "$log" "$E2E_WINDIR/syswow64/zan-handover.log"
e2e_log "unattended install with a log through the hand-over"
M_WATCH_ARGS=()
machine_run 60 INSTALL UNATTENDED '/LOG=C:\windows\system32\zan-handover.log'
e2e_expect_end 0 RESULT.SUCCESS
e2e_expect_log_format "$log" 2
pids=$(e2e_log_pids "$log")
machine_expect_lines "hand-over log: the 32-bit program's lines" "$(e2e_log_texts "$log" "$(head -n 1 <<<"$pids")")" <<LINES
ZanDriverInstaller 1.0.0.1 x86, arguments "INSTALL UNATTENDED /LOG=C:\windows\system32\zan-handover.log"
--> 32-bit program on 64-bit Windows, handing over to $native
--> 64-bit program ended with exit code 0
Finished: handed over to the 64-bit program, exit code 0
LINES
native_log=$(e2e_log_texts "$log" "$(tail -n 1 <<<"$pids")")
e2e_assert_eq 'ZanDriverInstaller 1.0.0.1 x64, arguments "INSTALL UNATTENDED /LOG=C:\windows\system32\zan-handover.log"' \
    "$(head -n 1 <<<"$native_log")" "hand-over log: the 64-bit program's first line"
e2e_assert_eq 'Finished: RESULT.SUCCESS, exit code 0' "$(tail -n 1 <<<"$native_log")" \
    "hand-over log: the 64-bit program's last line"
grep -q 'another run in progress' "$log" && e2e_fail "hand-over log: the 64-bit program was refused"
[ -e "$E2E_WINDIR/syswow64/zan-handover.log" ] && e2e_fail "hand-over log: the 32-bit program wrote to SysWOW64"

# --- 7. A log that a hard link leads elsewhere ----------------------------------
# The 32-bit program opens the log before it hands over: it refuses it, and so
# does the 64-bit program it hands over to; the linked file stays as it was.
printf '[keep]\r\n' >"$E2E_WINDIR/keep1.ini"
ln "$E2E_WINDIR/keep1.ini" "$WINEPREFIX/drive_c/hard.log"
e2e_log "a log that a hard link leads elsewhere, through the hand-over"
M_WATCH_ARGS=(--timeout 3)
machine_run 60 CHECK /LOG=C:\\hard.log
M_WATCH_ARGS=()
e2e_assert_eq 2 "$(e2e_trace_lines | grep -c 'refused: the file has 2 hard links')" "hard-linked log: refusals"
e2e_assert_eq '[keep]' "$(tr -d '\r' <"$E2E_WINDIR/keep1.ini")" "hard-linked log: the linked file"

# --- 3. The argument text, quotes and all --------------------------------------
cp "$E2E_DIR/echo.exe" "$app/x64/ZanDriverInstaller.exe"
no_window "arguments" INSTALL 'C:\Program Files\SILENT' '/q="a b"' "it's"
e2e_assert_eq 7 "$E2E_EXIT" "arguments: exit code"
# Wine quotes the arguments it is given into the argument text: the one with
# a space, and the one with quotes (each escaped with a backslash).
arguments='INSTALL \"C:\\Program Files\\SILENT\" \"/q=\\\"a b\\\"\" it'"'"'s'
machine_expect_lines "arguments: trace" "$(machine_tool_trace)" <<TRACE
$handing_over
\"$native_traced\" $arguments
$arguments
--> 64-bit program ended with exit code 7
TRACE

# --- 4. Without the 64-bit program ----------------------------------------------
rm -rf "$app/x64"
touch "$E2E_WINDIR/RESULT.SUCCESS" "$E2E_WINDIR/RESULT.FAIL"
M_WATCH_ARGS=(--hold 300 --answer "$M_CAPTION=ok")
no_window "no 64-bit program" UNINSTALL
e2e_expect_end 1 RESULT.FAIL "no 64-bit program"
text='This is the 32-bit ZanDriverInstaller.exe: it cannot install or remove drivers on 64-bit Windows, and the 64-bit program could not be started (error 3).\x0A\x0ARun the 64-bit program instead:\x0A'$native_traced
machine_expect_lines "no 64-bit program: message boxes" "$(machine_boxes_seen)" <<BOXES
$M_CAPTION|$text|OK|none
BOXES
machine_expect_fail_after_box "no 64-bit program"
machine_expect_trace <<TRACE
$handing_over
--> Error starting the 64-bit program : 00000003h
TRACE

# --- 6. UNATTENDED without the 64-bit program ------------------------------------
touch "$E2E_WINDIR/RESULT.SUCCESS"
M_WATCH_ARGS=(--hold 300)
no_window "unattended, no 64-bit program" UNINSTALL UNATTENDED
e2e_expect_end 1 RESULT.FAIL "unattended, no 64-bit program"
e2e_assert_eq "" "$(machine_boxes_seen)" "unattended, no 64-bit program: message boxes"

e2e_finish
