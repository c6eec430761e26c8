#!/usr/bin/env bash
# /LOG=<path>: every trace line of a run appended to a file, each line whole
# with the local time and the process ID, between a first line (program,
# version, architecture, the whole argument text) and a last line (outcome,
# exit code). On a machine without the devices, in three runs:
#
# 1. From a batch file, as deployment tools start programs: the path quoted
#    after "/LOG=", in a folder with a space and keywords in its name; the
#    keywords choose nothing (an uninstall, as the text around the option
#    says). The log holds the run's trace, line breaks escaped, CR LF ends.
# 2. The whole argument quoted ("/LOG=..."), no keyword outside it: no
#    operation, and the lines appended after the first run's, which stay.
# 3. A relative path: the file is made in the current folder.
# Logs that cannot be opened or that a link leads elsewhere are rows of the
# catalogue of scenarios.
. "$(dirname "$0")/lib.sh"
e2e_setup program_log_file

LOGS="$WINEPREFIX/drive_c/INSTALL logs"
LOG="$LOGS/UNINSTALL.txt"
mkdir -p "$LOGS"

# --- 1. From a batch file, the path quoted after /LOG= -------------------------------
bat="$WINEPREFIX/drive_c/uninstall.bat"
args='UNINSTALL /LOG="C:\INSTALL logs\UNINSTALL.txt"'
printf '@%s %s\r\n' "$(winepath_of "$E2E_EXE")" "$args" >"$bat"
e2e_log "1. $args, from a batch file"
e2e_run 30 cmd /c 'C:\uninstall.bat'
e2e_expect_log_format "$LOG" 1
e2e_expect_log "$LOG" "$(e2e_log_pids "$LOG")" "$args" RESULT.SUCCESS 0
e2e_assert_trace '**** Removing installed drivers ****'
e2e_assert_eq RESULT.SUCCESS "$(e2e_markers)" "1. markers"
# The escaped line breaks, as they are in the file.
grep -qaF -- ' ----> No more devices\n'$'\r' "$LOG" || e2e_fail "1. no escaped line break in the log"
cp "$LOG" "$E2E_DIR/first-run.log"

# --- 2. The whole argument quoted; appended after the first run ----------------------
args='/LOG=C:\INSTALL logs\UNINSTALL.txt'
e2e_log "2. \"$args\""
e2e_run 15 "$E2E_EXE" "$args"
e2e_expect_end 0 "" "2"
e2e_trace_has '**** Removing installed drivers ****' && e2e_fail "2. the log's path chose an operation"
e2e_expect_log_format "$LOG" 2
e2e_expect_log "$LOG" "$(e2e_log_pids "$LOG" | tail -n 1)" "\"$args\"" "no operation" 0
cmp -s "$E2E_DIR/first-run.log" <(head -c "$(stat -c %s "$E2E_DIR/first-run.log")" "$LOG") ||
    e2e_fail "2. the first run's lines changed"

# --- 3. A relative path --------------------------------------------------------------
mkdir -p "$E2E_DIR/cwd"
rm -f "$E2E_DIR/cwd/relative.log"
e2e_log "3. /LOG=relative.log from $E2E_DIR/cwd"
pushd "$E2E_DIR/cwd" >/dev/null
e2e_run 30 "$E2E_EXE" UNINSTALL /LOG=relative.log
popd >/dev/null
e2e_assert_eq 0 "$E2E_EXIT" "3. exit code"
e2e_expect_log_format "$E2E_DIR/cwd/relative.log" 1
e2e_expect_log "$E2E_DIR/cwd/relative.log" "$(e2e_log_pids "$E2E_DIR/cwd/relative.log")" \
    "UNINSTALL /LOG=relative.log" RESULT.SUCCESS 0

e2e_finish
