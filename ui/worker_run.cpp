#include "ui/worker_run.h"

HANDLE StartWorker(StatusBoard& board, ThreadStarter start, const RunOptions* options) {
    board.SetRunning(true);
    HANDLE thread = start(InstallerThreadProc, const_cast<RunOptions*>(options));
    if (thread == nullptr) board.SetRunning(false);
    return thread;
}

int ProcessExitCode(bool workerStarted, const StatusBoard& board, RunOutcome outcome) {
    if (!workerStarted || board.IsRunning()) return 1;
    return outcome == RunOutcome::Failed ? 1 : 0;
}
