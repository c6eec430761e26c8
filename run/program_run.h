// One run of the program around its window, step by step in the order the
// program takes them (RunProgram): the choices read once from the argument
// text, the log opened, the 32-bit program's hand-over on 64-bit Windows,
// the lock taken, the window and the worker, and at the end the exit code,
// the log's last line and the lock given back.
//
// Floors, top down: ui/ (windows) -> run/ (this one: the command-line
// choices, the log, the lock, the WOW64 hand-over, starting the worker, the
// exit codes) -> installer/ -> device/ -> platform/.
#pragma once

#include "installer/operation_runner.h"
#include "installer/status_board.h"
#include "run/run_lock.h"
#include "run/run_log.h"
#include "run/run_options.h"

#include <functional>
#include <string>

class ProgramRun {
public:
    // Reads the choices; an unattended run also keeps the system from showing
    // its own error boxes (a missing disk, a crash).
    explicit ProgramRun(const char* argumentText);
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    const RunOptions& Options() const { return m_options; }
    // The worker's task and result; it must outlive the worker's thread.
    WorkerRun& Worker() { return m_worker; }

    // With /LOG=: the log, its first line, and from now on every trace line
    // (a log that cannot be opened is traced); nothing without it.
    void OpenLog();
    // The 32-bit program on 64-bit Windows (see wow64_handover.h): true when
    // the 64-bit program did the run, whose exit code becomes this one's, or
    // could not be started: the run then fails like an operation once the
    // lock is held. This process takes no lock while the 64-bit program
    // runs, so that program's own run is not refused. False when the run
    // goes on in this process.
    bool HandedOverToNativeProgram();
    // False when another run holds the lock: this run then shows nothing,
    // touches nothing and ends with kExitAnotherRunInProgress.
    bool TakeLock();
    // How the worker ended, once the window is gone.
    void WorkerEnded(bool workerStarted, const StatusBoard& board);
    // A "CHECK" run instead of the window and the worker: reads the machine
    // (installer/machine_check.h), writes the summary to a captured standard
    // output, and ends with kExitSucceeded when the machine is as the
    // operation leaves it, kExitFailed when it differs or could not be read.
    void CheckMachine();
    // The exit code. The log gets its last line and is closed, the lock is
    // given back.
    int Finish();

private:
    std::string m_argumentText;
    RunOptions m_options;
    WorkerRun m_worker;
    RunLog m_log;
    RunLock m_lock;
    int m_exitCode;
    // The outcome as the log's last line names it.
    const char* m_outcome;
};

// The window step: the dismisser, the progress window and the worker it
// starts; returns whether the worker was started.
using ShowWindowStep = std::function<bool(ProgramRun& run)>;

// The whole run, in order; returns the process exit code. A "CHECK" run
// shows no window and starts no worker: it checks the machine once it holds
// the lock. `mayHandOver`: the
// program is the 32-bit one, which hands over on 64-bit Windows. `run` must
// live until the process ends: a worker the window left running reads it.
int RunProgram(ProgramRun& run, bool mayHandOver, const ShowWindowStep& showWindow);
