#!/usr/bin/env bash
# One run at a time. On a four-port machine, two runs started together, both
# logging to one file: "UNINSTALL" and "INSTALL UNATTENDED" whose driver
# update fails (so that each would leave a marker of its own). Exactly one
# operates and leaves its own marker and exit code; the other shows no window,
# changes nothing, traces and logs "another run in progress" and exits with
# 1618 within a second of its own start, as its log lines' times tell (started
# through a batch file, which gives the whole exit code). Then a run killed
# while it holds the lock does not keep the next one out, which traces that
# it took the lock over.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup program_two_runs

machine_provision full4
e2e_install_stub_newdev 0xE000020B
LOG=$WINEPREFIX/drive_c/shared.log
UNINSTALL_ARGS='UNINSTALL /LOG=C:\shared.log'
INSTALL_ARGS='INSTALL UNATTENDED /LOG=C:\shared.log'

# The second run, beside the one e2e_start_program_for_code starts, through
# the same batch file: its debugger output to E2E_DIR/second.trace, the exit
# code it printed to E2E_DIR/second.out.
SECOND_PID=""
e2e_on_exit '[ -n "$SECOND_PID" ] && kill "$SECOND_PID" 2>/dev/null'
start_second() {
    SECOND_START_NS=$(date +%s%N)
    WINEDEBUG=+debugstr,+msgbox wine cmd /c "$E2E_EXIT_CODE_BATCH" "$@" >"$E2E_DIR/second.out" 2>"$E2E_DIR/second.trace" &
    SECOND_PID=$!
}
wait_second() {
    wine_env_wait_pid "$SECOND_PID" "$1" || { e2e_fail "the second run did not end within $1 s"; e2e_finish; }
    SECOND_ELAPSED_MS=$((WINE_ENV_ENDED_MS - SECOND_START_NS / 1000000))
    SECOND_EXIT=$(e2e_batch_exit_code "$E2E_DIR/second.out")
    SECOND_PID=""
}

# expect_log PID ARGUMENTS OUTCOME EXIT: the run PID wrote to LOG its first
# line (program, version, architecture, ARGUMENTS), every line of its own
# trace (machine_logged_trace) and its last line (OUTCOME, EXIT).
expect_log() {
    machine_expect_lines "the lines of process $1 in the log" "$(e2e_log_texts "$LOG" "$1")" < <(
        echo "ZanDriverInstaller 1.0.0.1 $E2E_ARCH_NAME, arguments \"$2\""
        machine_logged_trace
        echo "Finished: $3, exit code $4"
    )
}

# --- Two runs started together -------------------------------------------------------
e2e_watch_windows
e2e_start_program_for_code "$E2E_EXE" $UNINSTALL_ARGS
start_second $INSTALL_ARGS
wait_second 40
e2e_wait_exit 40 || { e2e_fail "the uninstall did not end within 40 s"; e2e_finish; }
e2e_log "uninstall: exit $E2E_EXIT after $E2E_ELAPSED_MS ms; install: exit $SECOND_EXIT after $SECOND_ELAPSED_MS ms"

FIRST_TRACE=$E2E_TRACE
if [ "$E2E_EXIT" = 0 ] && [ "$SECOND_EXIT" = 1618 ]; then
    winner_trace=$FIRST_TRACE winner_args=$UNINSTALL_ARGS winner=RESULT.SUCCESS code=0
    loser_trace=$E2E_DIR/second.trace loser_args=$INSTALL_ARGS loser_ms=$SECOND_ELAPSED_MS
elif [ "$E2E_EXIT" = 1618 ] && [ "$SECOND_EXIT" = 1 ]; then
    winner_trace=$E2E_DIR/second.trace winner_args=$INSTALL_ARGS winner=RESULT.FAIL code=1
    loser_trace=$FIRST_TRACE loser_args=$UNINSTALL_ARGS loser_ms=$E2E_ELAPSED_MS
else
    e2e_fail "not exactly one run refused: uninstall exit '$E2E_EXIT', install exit '$SECOND_EXIT'"
    e2e_finish
fi
e2e_log "operated: $winner_args"

e2e_log "the refused run: $loser_ms ms from its start under Wine to its end"
e2e_assert_eq "$winner" "$(e2e_markers)" "markers"
E2E_TRACE=$loser_trace
e2e_assert_eq '--> Refused: another run in progress' "$(e2e_trace_lines)" "the refused run's trace"
e2e_assert_eq "" "$(e2e_message_boxes)" "the refused run's message boxes"

# The log: the refused run's three lines, the other's whole run; every line whole.
e2e_expect_log_format "$LOG" 2
for pid in $(e2e_log_pids "$LOG"); do
    if e2e_log_texts "$LOG" "$pid" | grep -q '^Finished: another run in progress'; then
        E2E_TRACE=$loser_trace
        expect_log "$pid" "$loser_args" "another run in progress" 1618
        # By the lines' own times: without the time Wine needs to start a process.
        e2e_assert_le 1000 "$(e2e_log_lines "$LOG" | awk -F '\t' -v pid="$pid" '
            $1 == pid { if (f == "") f = $2; l = $2 } END { if (f != "") print l - f }')" \
            "milliseconds from the refused run's first log line to its last"
    else
        E2E_TRACE=$winner_trace
        expect_log "$pid" "$winner_args" "$winner" "$code"
    fi
done
E2E_TRACE=$FIRST_TRACE

# One progress window: the refused run showed none.
e2e_assert_eq 1 "$(e2e_progress_windows | grep -c .)" "progress windows shown (mapped: $(e2e_mapped_windows | tr '\n' ' '))"

# --- A run that dies holding the lock ------------------------------------------------
# Another program keeps a handle on the lock, so that it outlives the run that
# dies holding it (else it goes with that run's handle, and the next run makes it anew).
wine "$E2E_HELPERS/file-holder/file-holder.exe" 60 mutex 'Global\ZanDriverInstaller.Run' >"$E2E_DIR/holder.log" 2>&1 &
HOLDER_PID=$!
e2e_on_exit 'kill "$HOLDER_PID" 2>/dev/null'
wine_env_wait_file "$E2E_DIR/holder.log" 10 "$HOLDER_PID" || e2e_fail "the lock is not held open: $(cat "$E2E_DIR/holder.log")"
e2e_start_program "$E2E_EXE" $UNINSTALL_ARGS
for ((k = 0; k <= 100; k++)); do
    e2e_trace_has 'CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnInitDialog()\n' && break
    sleep 0.05
done
[ $k -le 100 ] || e2e_fail "the run to be killed did not show its window"
kill -9 "$E2E_PID"
wait "$E2E_PID" 2>/dev/null
E2E_PID=""
e2e_run 40 "$E2E_EXE" UNINSTALL
e2e_expect_end 0 RESULT.SUCCESS "the run after the killed one"
e2e_trace_has '--> Refused: another run in progress' && e2e_fail "the killed run's lock kept the next one out"
e2e_assert_trace '--> Run lock taken over from a run that ended without releasing it'

e2e_finish
