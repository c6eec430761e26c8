// The Windows directory a run works in: its markers and its INF folder.
#pragma once

#include <string>

// Without a trailing separator; recorded before the worker starts, empty
// when it could not be read.
extern std::string g_windowsDir;

// The Windows directory as the system gives it, without a trailing
// separator; empty when it cannot be read whole. The one place it is read.
std::string ReadWindowsDirectory();
