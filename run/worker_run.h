// The worker's run as the window sees it: how the worker is started so that
// no tick can close the window before the worker has run, and what the
// process returns afterwards.
#pragma once

#include "installer/operation_runner.h"
#include "installer/status_board.h"
#include "platform/platform.h"

#include <string>

// Creates a thread running `proc(param)`: CreateThread on Windows, anything
// that runs the procedure in tests. Returns the thread handle, or null with
// the last error set.
using ThreadProc = DWORD(WINAPI*)(LPVOID);
using ThreadStarter = HANDLE (*)(ThreadProc proc, LPVOID param);

// Starts the worker (InstallerThreadProc with `options`).
// The board's running flag goes up before the thread exists, so a tick that
// comes before the worker's first step still sees it running; the window
// closes only once the worker has lowered it. When the thread cannot be
// created the flag goes down again and null is returned.
HANDLE StartWorker(StatusBoard& board, ThreadStarter start, const RunOptions* options);

// The process exit code: 0 after RESULT.SUCCESS or when no operation was
// asked for, 3010 after RESULT.SUCCESS when the system needs a restart to
// finish, 1 after a failed operation or when the worker did not run to its
// end (it could not be started, or the window ended while it was running).
// `board` tells whether the worker is still running.
constexpr int kExitRestartNeeded = 3010;
int ProcessExitCode(bool workerStarted, const StatusBoard& board, RunOutcome outcome, bool restartNeeded = false);
