// Starting the worker so that no tick can close the window before it has
// run, telling a worker that could not be started, and the exit code of the
// run the worker did.
#pragma once

#include "installer/operation_runner.h"
#include "installer/status_board.h"
#include "platform/platform.h"

// Creates a thread running `proc(param)`: CreateThread on Windows, anything
// that runs the procedure in tests. Returns the thread handle, or null with
// the last error set.
using ThreadProc = DWORD(WINAPI*)(LPVOID);
using ThreadStarter = HANDLE (*)(ThreadProc proc, LPVOID param);

// Starts the worker (InstallerThreadProc with `worker`).
// The board's running flag goes up before the thread exists, so a tick that
// comes before the worker's first step still sees it running; the window
// closes only once the worker has lowered it. When the thread cannot be
// created the flag goes down again and null is returned.
HANDLE StartWorker(StatusBoard& board, ThreadStarter start, WorkerRun* worker);

// Tells that the installer could not be started (the window could not be
// shown or the worker could not be created, `error` says why): traced, then
// reported as a failed run (the box unless unattended, the old markers
// deleted and RESULT.FAIL).
void ReportStartFailure(HWND owner, DWORD error, bool unattended);

// The window's start of the worker: StartWorker, and when the thread cannot
// be created, ReportStartFailure with the creation's error (the box owned by
// `owner`). Returns the thread, or null once the failure was reported.
HANDLE StartWorkerOrReport(StatusBoard& board, ThreadStarter start, WorkerRun* worker, HWND owner);

// The process exit code (run/exit_codes.h): kExitSucceeded after
// RESULT.SUCCESS or when no operation was asked for, kExitRestartNeeded after
// RESULT.SUCCESS when the system needs a restart to finish, kExitFailed after
// a failed operation or when the worker did not run to its end (`completed`
// false: it could not be started, or the window ended while it was running).
int ProcessExitCode(bool completed, RunOutcome outcome, bool restartNeeded = false);
