// The progress window's rules, apart from the window: what one timer tick
// does, how the worker is started so that no tick can close the window before
// the worker has run, and what the process returns.
#pragma once

#include "installer/operation_runner.h"
#include "installer/status_board.h"
#include "platform/platform.h"

// The status line is read back from the window into a buffer of this size,
// so at most 79 characters of it take part in the comparison.
constexpr int kStatusReadBackSize = 80;

struct ProgressTick {
    enum Action {
        Keep,       // the line shown is the board's line
        SetText,    // show `text`
        EndDialog,  // the worker has ended: close the window, nothing else
    };
    Action action = Keep;
    char text[StatusBoard::kTextSize] = {};
};

// One tick: `shownText` is what the status line held when read back (at most
// kStatusReadBackSize - 1 characters). Ends the window once the board is no
// longer running; otherwise copies the board's line when it differs exactly.
ProgressTick DecideProgressTick(const char* shownText, const StatusBoard& board);

// Creates a thread running `proc(param)`: CreateThread on Windows, anything
// that runs the procedure in tests. Returns the thread handle, or null with
// the last error set.
using ThreadProc = DWORD(WINAPI*)(LPVOID);
using ThreadStarter = HANDLE (*)(ThreadProc proc, LPVOID param);

// Starts the worker (InstallerThreadProc with `cmdLine`, a std::string*).
// The board's running flag goes up before the thread exists, so a tick that
// comes before the worker's first step still sees it running; the window
// closes only once the worker has lowered it. When the thread cannot be
// created the flag goes down again and null is returned.
HANDLE StartWorker(StatusBoard& board, ThreadStarter start, std::string* cmdLine);

// The process exit code: 0 after RESULT.SUCCESS or when no operation was
// asked for, 1 after a failed operation or when the worker did not run to its
// end (it could not be started, or the window ended while it was running).
// `board` tells whether the worker is still running.
int ProcessExitCode(bool workerStarted, const StatusBoard& board, RunOutcome outcome);
