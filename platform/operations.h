// Every operation of the seam (platform.h), once, in the header's order: the
// one list the tests hold the seam to. The fault sweep fails each of them in
// turn, once and for good, and the conformance suite calls each; a test holds
// this list against the header's declarations, so that an operation added
// there without a fault row or a conformance check fails the tests.
#pragma once

#include <string_view>

namespace plat {

inline constexpr std::string_view kOperations[] = {
    "SetupDiGetClassDevsA",
    "SetupDiEnumDeviceInfo",
    "SetupDiGetDeviceRegistryPropertyA",
    "SetupDiSetDeviceRegistryPropertyA",
    "SetupDiGetDeviceInstanceIdA",
    "SetupDiRemoveDevice",
    "SetupDiGetDeviceInstallParamsA",
    "SetupDiDestroyDeviceInfoList",
    "SetupDiOpenDevRegKey",
    "SetupUninstallOEMInfA",
    "UpdateDriverForPlugAndPlayDevicesA",
    "RegOpenKeyExA",
    "RegSetValueExA",
    "RegQueryValueExA",
    "RegCloseKey",
    "GetLastError",
    "SetLastError",
    "SetErrorMode",
    "DeleteFileA",
    "GetFileAttributesA",
    "CreateFileA",
    "ReadFile",
    "WriteFile",
    "FlushFileBuffers",
    "GetFileInformationByHandle",
    "GetFinalPathNameByHandleA",
    "SetFileInformationByHandle",
    "GetFullPathNameA",
    "GetLongPathNameA",
    "CloseHandle",
    "GetStdHandle",
    "GetFileType",
    "DuplicateHandle",
    "FindFirstFileA",
    "FindNextFileA",
    "FindClose",
    "GetWindowsDirectoryA",
    "SHGetFolderPathA",
    "CreateMutexA",
    "WaitForSingleObject",
    "ReleaseMutex",
    "MessageBoxA",
    "Sleep",
    "GetLocalTime",
    "GetCurrentProcessId",
    "OutputDebugStringA",
    "GetCurrentProcess",
    "IsWow64Process",
    "Wow64DisableWow64FsRedirection",
    "Wow64RevertWow64FsRedirection",
    "GetModuleFileNameA",
    "CreateProcessA",
    "GetExitCodeProcess",
    "FindWindowExA",
    "GetWindowTextA",
    "SetForegroundWindow",
    "GetForegroundWindow",
    "SendInput",
};

}  // namespace plat
