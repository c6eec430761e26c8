#include "ui/progress_tick.h"

#include <cstring>

ProgressTick DecideProgressTick(const char* shownText, const StatusBoard& board) {
    ProgressTick tick;
    if (!board.IsRunning()) {
        tick.action = ProgressTick::EndDialog;
        return tick;
    }
    board.CopyText(tick.text);
    tick.action = std::strcmp(shownText, tick.text) != 0 ? ProgressTick::SetText : ProgressTick::Keep;
    return tick;
}

HANDLE StartWorker(StatusBoard& board, ThreadStarter start, std::string* cmdLine) {
    board.SetRunning(true);
    HANDLE thread = start(InstallerThreadProc, cmdLine);
    if (thread == nullptr) board.SetRunning(false);
    return thread;
}

int ProcessExitCode(bool workerStarted, const StatusBoard& board, RunOutcome outcome) {
    if (!workerStarted || board.IsRunning()) return 1;
    return outcome == RunOutcome::Failed ? 1 : 0;
}
