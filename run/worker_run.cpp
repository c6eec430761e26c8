#include "run/worker_run.h"

#include "installer/windows_folder.h"
#include "platform/trace.h"
#include "run/exit_codes.h"

#include <cstdio>

HANDLE StartWorker(StatusBoard& board, ThreadStarter start, WorkerRun* worker) {
    board.SetRunning(true);
    HANDLE thread = start(InstallerThreadProc, worker);
    if (thread == nullptr) board.SetRunning(false);
    return thread;
}

void ReportStartFailure(HWND owner, DWORD error, bool unattended) {
    char message[160];
    std::snprintf(message, sizeof(message),
                  "The installer could not be started (error %lu).\n\nNo drivers were changed.",
                  static_cast<unsigned long>(error));
    Trace(message);
    Trace("\n");
    // No worker ran to delete an earlier run's markers: a calling script must
    // not take an old RESULT.SUCCESS for this run's.
    const std::string windowsDir = ReadWindowsDirectory();
    if (!windowsDir.empty()) DeleteMarkers(windowsDir);
    ReportFailedRun(owner, message, MB_OK | MB_ICONERROR, unattended, windowsDir);
}

HANDLE StartWorkerOrReport(StatusBoard& board, ThreadStarter start, WorkerRun* worker, HWND owner) {
    HANDLE thread = StartWorker(board, start, worker);
    if (thread == nullptr) ReportStartFailure(owner, plat::GetLastError(), worker->choices->unattended);
    return thread;
}

int ProcessExitCode(bool completed, RunOutcome outcome, bool restartNeeded) {
    if (!completed) return kExitFailed;
    switch (outcome) {
    case RunOutcome::Failed:
        return kExitFailed;
    case RunOutcome::Succeeded:
        return restartNeeded ? kExitRestartNeeded : kExitSucceeded;
    case RunOutcome::NotRun:
        break;
    }
    return kExitSucceeded;
}
