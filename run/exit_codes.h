// The process exit codes of a run, the one place they are spelled.
#pragma once

// The operation succeeded, or none was asked for.
constexpr int kExitSucceeded = 0;
// The operation failed, or it did not run to its end (the worker could not
// be started, the window ended before it, the 64-bit program could not be
// started or waited for).
constexpr int kExitFailed = 1;
// Another run holds the lock: this one did nothing. Windows Installer's code
// for it, which deployment systems retry on.
constexpr int kExitAnotherRunInProgress = 1618;
// The operation succeeded and the system needs a restart to finish
// (unattended runs only). Windows Installer's code for it.
constexpr int kExitRestartNeeded = 3010;
