// The one loader of the system DLLs that the program does not import:
// setupapi, newdev, comctl32 and shell32 are loaded at run time from the
// system directory only, so that they and their own dependencies are never
// picked up from the program's folder.
#pragma once

#include <windows.h>

namespace plat::win32 {

// The entry point `name` of the system DLL `dll` ("setupapi.dll"), loading the
// DLL from the system directory on first use. When the DLL or the entry point
// is missing: a trace line, null, and the last error set
// (ERROR_MOD_NOT_FOUND or ERROR_PROC_NOT_FOUND, or what the loader reported).
FARPROC SystemProc(const char* dll, const char* name);

// The same, typed: SystemFunction<decltype(&::SetupDiRemoveDevice)>(...).
template <typename Function>
Function SystemFunction(const char* dll, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(SystemProc(dll, name)));
}

}  // namespace plat::win32
