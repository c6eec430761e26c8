// One run of the program around its window, step by step in the order the
// application takes them: the choices read once from the argument text, the
// log opened, the lock taken, (the window and the worker), and at the end the
// exit code, the log's last line and the lock given back.
#pragma once

#include "installer/operation_runner.h"
#include "installer/run_lock.h"
#include "installer/run_log.h"
#include "installer/run_options.h"
#include "installer/status_board.h"

#include <string>

// The exit code of a run refused because another one holds the lock; the
// code Windows Installer gives, which deployment systems retry on.
constexpr int kExitAnotherRunInProgress = 1618;

class ProgramRun {
public:
    // Reads the choices; an unattended run also keeps the system from showing
    // its own error boxes (a missing disk, a crash).
    explicit ProgramRun(const char* argumentText);
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // For the worker, for as long as it runs.
    const RunOptions& Options() const { return m_options; }

    // With /LOG=: the log, its first line, and from now on every trace line
    // (a log that cannot be opened is traced); nothing without it.
    void OpenLog();
    // The 32-bit program on 64-bit Windows (see wow64_handover.h): true when
    // the 64-bit program did the run, whose exit code becomes this one's, or
    // could not be started: the run then fails like an operation (markers,
    // the box unless unattended, RESULT.FAIL) once the lock is held. This
    // process takes no lock while the 64-bit program runs, so that program's
    // own run is not refused. False when the run goes on in this process.
    bool HandedOverToNativeProgram();
    // False when another run holds the lock: this run then shows nothing,
    // touches nothing and ends with kExitAnotherRunInProgress.
    bool TakeLock();
    // How the worker ended, once the window is gone.
    void WorkerEnded(bool workerStarted, const StatusBoard& board, RunOutcome outcome, bool restartNeeded);
    // The exit code. The log gets its last line and is closed, the lock is
    // given back.
    int Finish();

private:
    std::string m_argumentText;
    RunOptions m_options;
    RunLog m_log;
    RunLock m_lock;
    int m_exitCode = 1;
    // The outcome as the log's last line names it.
    const char* m_outcome = "operation not completed";
};
