// The 32-bit program on 64-bit Windows. The system refuses device
// installation from a 32-bit process there (ERROR_IN_WOW64), so the 32-bit
// build hands the whole run to the 64-bit program shipped in the x64 folder
// beside it and gives back that program's exit code. Window-free: it runs
// before the dismisser and the window exist.
#pragma once

#include "installer/operation_runner.h"
#include "platform/platform.h"
#include "run/exit_codes.h"

#include <optional>
#include <string>

// The 64-bit program, relative to the folder of the running one.
constexpr const char kNativeProgram[] = "x64\\ZanDriverInstaller.exe";

// What became of the hand-over.
struct HandOver {
    // The 64-bit program was started and waited for: `exitCode` is its exit
    // code (kExitFailed when the wait or the code could not be had).
    bool started = false;
    int exitCode = kExitFailed;
    // Its full path; empty when the own path could not be read whole.
    std::string program;
    // Why it could not be started.
    DWORD error = ERROR_SUCCESS;
};

// Not under WOW64 (or the system cannot tell): returns nothing, and the run
// goes on in this process.
//
// Under WOW64: starts <own folder>\x64\ZanDriverInstaller.exe by its full
// path (never searched for), with the command line "<full path>" followed by
// a space and `argumentText` unchanged, inheriting no handles; waits for it
// and returns its exit code, touching no marker: they are that program's.
// With `passOutput` and a captured standard output (captured_output.h), the
// program gets that output as its own, through an inheritable duplicate, the
// one handle it inherits from here.
std::optional<HandOver> HandOverOnWow64(const std::string& argumentText, bool passOutput = false);

// When the 64-bit program could not be started, the run fails like an
// operation: deletes the old markers, then reports a failed run with an
// error box that names that program (none when `unattended`).
RunOutcome FailHandOver(const HandOver& handOver, bool unattended);
