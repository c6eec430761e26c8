// The plat:: operations on Windows. kernel32, user32 and advapi32 are called
// directly; setupapi, newdev and shell32 are reached through the system DLL
// loader, and a call whose DLL or entry point is missing fails like the real
// one would, with the loader's last error.
#include "platform/platform.h"

#include "platform/win32/system_dll.h"

#include <shlobj.h>

namespace plat {
namespace {

template <typename Function>
Function Setupapi(const char* name) {
    return win32::SystemFunction<Function>("setupapi.dll", name);
}

// A kernel32 function looked up rather than imported, for those that older
// systems lack; kernel32 is always loaded, so nothing is searched for.
template <typename Function>
Function Kernel32(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), name)));
}

}  // namespace

// --- Device setup (setupapi) ----------------------------------------------

HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent, DWORD flags) {
    auto call = Setupapi<decltype(&::SetupDiGetClassDevsA)>("SetupDiGetClassDevsA");
    return call != nullptr ? call(classGuid, enumerator, parent, flags) : INVALID_HANDLE_VALUE;
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA data) {
    auto call = Setupapi<decltype(&::SetupDiEnumDeviceInfo)>("SetupDiEnumDeviceInfo");
    return call != nullptr ? call(set, index, data) : FALSE;
}

BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA data, DWORD property,
                                       PDWORD valueType, PBYTE buffer, DWORD bufferSize,
                                       PDWORD requiredSize) {
    auto call = Setupapi<decltype(&::SetupDiGetDeviceRegistryPropertyA)>("SetupDiGetDeviceRegistryPropertyA");
    return call != nullptr ? call(set, data, property, valueType, buffer, bufferSize, requiredSize) : FALSE;
}

BOOL SetupDiSetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA data, DWORD property,
                                       const BYTE* buffer, DWORD bufferSize) {
    auto call = Setupapi<decltype(&::SetupDiSetDeviceRegistryPropertyA)>("SetupDiSetDeviceRegistryPropertyA");
    return call != nullptr ? call(set, data, property, buffer, bufferSize) : FALSE;
}

BOOL SetupDiGetDeviceInstanceIdA(HDEVINFO set, PSP_DEVINFO_DATA data, PSTR id, DWORD idSize,
                                 PDWORD requiredSize) {
    auto call = Setupapi<decltype(&::SetupDiGetDeviceInstanceIdA)>("SetupDiGetDeviceInstanceIdA");
    return call != nullptr ? call(set, data, id, idSize, requiredSize) : FALSE;
}

BOOL SetupDiRemoveDevice(HDEVINFO set, PSP_DEVINFO_DATA data) {
    auto call = Setupapi<decltype(&::SetupDiRemoveDevice)>("SetupDiRemoveDevice");
    return call != nullptr ? call(set, data) : FALSE;
}

BOOL SetupDiGetDeviceInstallParamsA(HDEVINFO set, PSP_DEVINFO_DATA data, PSP_DEVINSTALL_PARAMS_A params) {
    auto call = Setupapi<decltype(&::SetupDiGetDeviceInstallParamsA)>("SetupDiGetDeviceInstallParamsA");
    return call != nullptr ? call(set, data, params) : FALSE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) {
    auto call = Setupapi<decltype(&::SetupDiDestroyDeviceInfoList)>("SetupDiDestroyDeviceInfoList");
    return call != nullptr ? call(set) : FALSE;
}

HKEY SetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA data, DWORD scope, DWORD hardwareProfile, DWORD keyType,
                          REGSAM access) {
    auto call = Setupapi<decltype(&::SetupDiOpenDevRegKey)>("SetupDiOpenDevRegKey");
    return call != nullptr ? call(set, data, scope, hardwareProfile, keyType, access)
                           : static_cast<HKEY>(INVALID_HANDLE_VALUE);
}

BOOL SetupUninstallOEMInfA(PCSTR infFileName, DWORD flags, PVOID reserved) {
    auto call = Setupapi<decltype(&::SetupUninstallOEMInfA)>("SetupUninstallOEMInfA");
    return call != nullptr ? call(infFileName, flags, reserved) : FALSE;
}

// --- Driver update (newdev) -----------------------------------------------

BOOL UpdateDriverForPlugAndPlayDevicesA(HWND parent, LPCSTR hardwareId, LPCSTR infPath,
                                        DWORD installFlags, PBOOL rebootRequired) {
    auto call = win32::SystemFunction<decltype(&::UpdateDriverForPlugAndPlayDevicesA)>(
        "newdev.dll", "UpdateDriverForPlugAndPlayDevicesA");
    return call != nullptr ? call(parent, hardwareId, infPath, installFlags, rebootRequired) : FALSE;
}

// --- Registry (advapi32) --------------------------------------------------

LONG RegOpenKeyExA(HKEY parent, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    return ::RegOpenKeyExA(parent, subKey, options, access, result);
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
    return ::RegSetValueExA(key, valueName, reserved, type, data, size);
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
    return ::RegQueryValueExA(key, valueName, reserved, type, data, size);
}

LONG RegCloseKey(HKEY key) { return ::RegCloseKey(key); }

// --- Errors, files and folders (kernel32, shell32) ------------------------

DWORD GetLastError() { return ::GetLastError(); }

void SetLastError(DWORD error) { ::SetLastError(error); }

UINT SetErrorMode(UINT mode) { return ::SetErrorMode(mode); }

BOOL DeleteFileA(LPCSTR path) { return ::DeleteFileA(path); }

DWORD GetFileAttributesA(LPCSTR path) { return ::GetFileAttributesA(path); }

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD attributes, HANDLE templateFile) {
    return ::CreateFileA(path, access, share, security, disposition, attributes, templateFile);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped) {
    return ::ReadFile(file, buffer, toRead, read, overlapped);
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped) {
    return ::WriteFile(file, buffer, toWrite, written, overlapped);
}

BOOL FlushFileBuffers(HANDLE file) { return ::FlushFileBuffers(file); }

BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information) {
    return ::GetFileInformationByHandle(file, information);
}

DWORD GetFinalPathNameByHandleA(HANDLE file, LPSTR path, DWORD size, DWORD flags) {
    const auto call = Kernel32<decltype(&::GetFinalPathNameByHandleA)>("GetFinalPathNameByHandleA");
    if (call == nullptr) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return 0;
    }
    return call(file, path, size, flags);
}

BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, LPVOID information,
                                DWORD size) {
    const auto call = Kernel32<decltype(&::SetFileInformationByHandle)>("SetFileInformationByHandle");
    if (call == nullptr) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return call(file, infoClass, information, size);
}

DWORD GetFullPathNameA(LPCSTR path, DWORD size, LPSTR buffer, LPSTR* filePart) {
    return ::GetFullPathNameA(path, size, buffer, filePart);
}

DWORD GetLongPathNameA(LPCSTR shortPath, LPSTR longPath, DWORD size) {
    return ::GetLongPathNameA(shortPath, longPath, size);
}

BOOL CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }

HANDLE GetStdHandle(DWORD stdHandle) { return ::GetStdHandle(stdHandle); }

DWORD GetFileType(HANDLE file) { return ::GetFileType(file); }

BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, LPHANDLE target, DWORD access,
                     BOOL inherit, DWORD options) {
    return ::DuplicateHandle(sourceProcess, source, targetProcess, target, access, inherit, options);
}

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) { return ::FindFirstFileA(pattern, data); }

BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data) { return ::FindNextFileA(find, data); }

BOOL FindClose(HANDLE find) { return ::FindClose(find); }

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) { return ::GetWindowsDirectoryA(buffer, size); }

HRESULT SHGetFolderPathA(HWND owner, int folder, HANDLE token, DWORD flags, LPSTR path) {
    auto call = win32::SystemFunction<decltype(&::SHGetFolderPathA)>("shell32.dll", "SHGetFolderPathA");
    if (call == nullptr) return HRESULT_FROM_WIN32(::GetLastError());
    return call(owner, folder, token, flags, path);
}

// --- Named mutexes (kernel32) ----------------------------------------------

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCSTR name) {
    return ::CreateMutexA(security, initialOwner, name);
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) { return ::WaitForSingleObject(handle, milliseconds); }

BOOL ReleaseMutex(HANDLE mutex) { return ::ReleaseMutex(mutex); }

// --- User interaction, time and trace (user32, kernel32) ------------------

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    return ::MessageBoxA(owner, text, caption, type);
}

void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

void GetLocalTime(LPSYSTEMTIME time) { ::GetLocalTime(time); }

DWORD GetCurrentProcessId() { return ::GetCurrentProcessId(); }

void OutputDebugStringA(LPCSTR text) { ::OutputDebugStringA(text); }

// --- The process and the programs it starts (kernel32) --------------------

HANDLE GetCurrentProcess() { return ::GetCurrentProcess(); }

BOOL IsWow64Process(HANDLE process, PBOOL wow64) {
    // Looked up rather than imported: older systems lack it, and have no WOW64.
    const auto call = Kernel32<decltype(&::IsWow64Process)>("IsWow64Process");
    if (call == nullptr) {
        *wow64 = FALSE;
        return TRUE;
    }
    return call(process, wow64);
}

BOOL Wow64DisableWow64FsRedirection(PVOID* oldValue) {
    const auto call = Kernel32<decltype(&::Wow64DisableWow64FsRedirection)>("Wow64DisableWow64FsRedirection");
    if (call == nullptr) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return call(oldValue);
}

BOOL Wow64RevertWow64FsRedirection(PVOID oldValue) {
    const auto call = Kernel32<decltype(&::Wow64RevertWow64FsRedirection)>("Wow64RevertWow64FsRedirection");
    if (call == nullptr) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return call(oldValue);
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR path, DWORD size) { return ::GetModuleFileNameA(module, path, size); }

BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                    LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                    LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                    LPPROCESS_INFORMATION processInformation) {
    return ::CreateProcessA(applicationName, commandLine, processAttributes, threadAttributes, inheritHandles,
                            creationFlags, environment, currentDirectory, startupInfo, processInformation);
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode) { return ::GetExitCodeProcess(process, exitCode); }

// --- Window lookup and synthetic input (user32) ---------------------------

HWND FindWindowExA(HWND parent, HWND childAfter, LPCSTR className, LPCSTR windowName) {
    return ::FindWindowExA(parent, childAfter, className, windowName);
}

int GetWindowTextA(HWND window, LPSTR text, int size) { return ::GetWindowTextA(window, text, size); }

BOOL SetForegroundWindow(HWND window) { return ::SetForegroundWindow(window); }

HWND GetForegroundWindow() { return ::GetForegroundWindow(); }

UINT SendInput(UINT count, LPINPUT inputs, int size) { return ::SendInput(count, inputs, size); }

}  // namespace plat
