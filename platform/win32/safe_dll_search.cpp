#include "platform/win32/safe_dll_search.h"

#include "platform/trace.h"

namespace plat::win32 {

bool RestrictDllSearchToSystemDirectory() {
    // Looked up rather than imported, so that the program still starts on a
    // system that lacks it. kernel32 is always loaded: nothing is searched.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel32 = ::GetModuleHandleA("kernel32.dll");
    const auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(::GetProcAddress(kernel32, "SetDefaultDllDirectories")));
    if (setDefaultDllDirectories != nullptr && setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return true;

    ::SetDllDirectoryA("");
    Trace("DLL search could not be restricted to the system directory\n");
    return false;
}

}  // namespace plat::win32
