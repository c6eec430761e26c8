// The 32-bit program on 64-bit Windows. The system refuses device
// installation from a 32-bit process there (ERROR_IN_WOW64), so the 32-bit
// build hands the whole run to the 64-bit program shipped in the x64 folder
// beside it and gives back that program's exit code. Window-free: it runs
// before the dismisser and the window exist.
#pragma once

#include <optional>
#include <string>

// The 64-bit program, relative to the folder of the running one.
constexpr const char kNativeProgram[] = "x64\\ZanDriverInstaller.exe";

// Not under WOW64 (or the system cannot tell): returns nothing, and the run
// goes on in this process.
//
// Under WOW64: starts <own folder>\x64\ZanDriverInstaller.exe by its full
// path (never searched for), with the command line "<full path>" followed by
// a space and `argumentText` unchanged, inheriting no handles; waits for it
// and returns its exit code, touching no marker: they are that program's.
// When it cannot be started: deletes the old markers, shows an error box
// that names it and waits for a person, creates RESULT.FAIL and returns 1.
// When the wait or its exit code fails: returns 1.
std::optional<int> HandOverOnWow64(const std::string& argumentText);
