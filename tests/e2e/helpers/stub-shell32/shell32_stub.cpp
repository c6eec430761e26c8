// A stand-in for shell32.dll, for tests under Wine, whose folder lookup can
// be made to fail. It exports only SHGetFolderPathA, so, like the stand-in
// setupapi.dll, it is meant for the installer's process alone: placed in
// system32 and chosen for ZanDriverInstaller.exe by a per-program DLL
// override ("shell32"="native,builtin" in the key
// HKCU\Software\Wine\AppDefaults\ZanDriverInstaller.exe\DllOverrides).
//
// With ZAN_STUB_SHELL32_FAIL set (to anything), every lookup fails with
// E_FAIL and leaves the buffer as it was, traced to the debugger output as
//   stub shell32: SHGetFolderPathA(0x24) -> 0x80004005
// Otherwise the call is handed to Wine's own shell32.dll (see wine_builtin.h).
#include <windows.h>

#include "wine_builtin.h"

#include <cstdio>

extern "C" __declspec(dllexport) HRESULT WINAPI SHGetFolderPathA(HWND owner, int folder, HANDLE token, DWORD flags,
                                                                 LPSTR path) {
    if (::GetEnvironmentVariableA("ZAN_STUB_SHELL32_FAIL", nullptr, 0) > 0) {
        char line[100];
        std::snprintf(line, sizeof(line), "stub shell32: SHGetFolderPathA(0x%x) -> 0x%08lx\n", folder,
                      static_cast<unsigned long>(E_FAIL));
        ::OutputDebugStringA(line);
        return E_FAIL;
    }
    using Function = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
    const auto real = wine_builtin::Proc<Function>("shell32.dll", "SHGetFolderPathA");
    if (real == nullptr) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    return real(owner, folder, token, flags, path);
}
