#include "ui/worker_run.h"

HANDLE StartWorker(StatusBoard& board, ThreadStarter start, const RunOptions* options) {
    board.SetRunning(true);
    HANDLE thread = start(InstallerThreadProc, const_cast<RunOptions*>(options));
    if (thread == nullptr) board.SetRunning(false);
    return thread;
}

int ProcessExitCode(bool workerStarted, const StatusBoard& board, RunOutcome outcome, bool restartNeeded) {
    if (!workerStarted || board.IsRunning()) return 1;
    switch (outcome) {
    case RunOutcome::Failed:
        return 1;
    case RunOutcome::Succeeded:
        return restartNeeded ? kExitRestartNeeded : 0;
    case RunOutcome::NotRun:
        break;
    }
    return 0;
}
