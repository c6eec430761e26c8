#!/usr/bin/env bash
# The program started with no keyword shows its progress window, clears
# old markers, writes none, and ends on its own with exit code 0: its window
# closes at its first ticks, within 1 s of being shown. (The window's own
# time, as the watch sees it, not the process's: a Wine process's start
# takes seconds on a busy machine.)
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup program_no_keyword

touch "$E2E_WINDIR/RESULT.SUCCESS" "$E2E_WINDIR/RESULT.FAIL"
e2e_watch_windows
machine_watch_start
e2e_start_program "$E2E_EXE"
if ! e2e_wait_exit 10; then
    e2e_fail "the program did not end within 10 s"
    e2e_finish
fi
machine_watch_wait

e2e_assert_eq 0 "$E2E_EXIT" "exit code"
shown_ms=$(machine_event_ms 'window shown')
closed_ms=$(machine_event_ms 'window closed')
[ -n "$shown_ms" ] && [ -n "$closed_ms" ] || e2e_fail "the watch did not see the window shown and closed"
e2e_assert_le 1000 "$((${closed_ms:-99999} - ${shown_ms:-0}))" "milliseconds from the window shown to its close"
e2e_assert_eq "" "$(e2e_markers)" "markers left in the Windows directory"
e2e_assert_trace 'CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnInitDialog()\n'
e2e_trace_has '**** InstallTiDevice(), Installing Root Port USB Driver ****' &&
    e2e_fail "an install ran without INSTALL on the command line"

shown=$(e2e_progress_windows)
[ -n "$shown" ] || e2e_fail "no progress window was shown; mapped: $(e2e_mapped_windows | tr '\n' ' ')"
e2e_log "window shown: $shown; closed $((${closed_ms:-0} - ${shown_ms:-0})) ms after, the process ended ${E2E_ELAPSED_MS} ms after its start"

e2e_finish
