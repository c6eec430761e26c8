// The Windows directory a run works in: its markers and its INF folder.
#pragma once

#include <string>

// Without a trailing separator; recorded before the worker starts, empty
// when it could not be read.
extern std::string g_windowsDir;

// The Windows directory as the system gives it, without a trailing
// separator; empty when it cannot be read whole. The one place the program
// calls GetWindowsDirectoryA: its callers (the window, for g_windowsDir; the
// run's failure paths in run/) read the folder here. The OEM INF cleanup alone
// looks it up separately, through the shell (SHGetFolderPathA with
// CSIDL_WINDOWS), and deals with that lookup's failure itself.
std::string ReadWindowsDirectory();
