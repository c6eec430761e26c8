// Hardening of the process's DLL search. An elevated installer started from a
// Downloads folder must never load a DLL that someone placed beside it.
#pragma once

#include <windows.h>

namespace plat::win32 {

// Restricts the DLL search of the whole process to the system directory
// (SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)). Call it first,
// before anything can load a library. On a system without that call the
// current directory is at least taken out of the search, and false returned.
bool RestrictDllSearchToSystemDirectory();

}  // namespace plat::win32
