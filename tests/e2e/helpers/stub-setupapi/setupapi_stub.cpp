// A stand-in for setupapi.dll, for tests under Wine, that makes chosen calls
// of the device setup functions the installer uses fail. It exports only
// the functions the installer calls, so it is meant for the installer's
// process alone: placed in system32 and chosen for ZanDriverInstaller.exe by
// a per-program DLL override ("setupapi"="native,builtin" in the key
// HKCU\Software\Wine\AppDefaults\ZanDriverInstaller.exe\DllOverrides);
// every other program, Wine's own services included, keeps Wine's setupapi.
// A process that also loads Wine's newdev.dll cannot use it: newdev would
// bind to these few exports.
//
// ZAN_STUB_SETUPAPI_FAIL names the calls that fail: "<function>" for every
// call of it, "<function>#<n>" for its n-th call only (counting from 1),
// several separated by commas. A failing call does nothing and fails with
// the last error ZAN_STUB_SETUPAPI_ERROR (decimal or 0x hex; default
// ERROR_ACCESS_DENIED); SetupDiGetClassDevsA then returns
// INVALID_HANDLE_VALUE, the others FALSE. Each failure is traced to the
// debugger output as
//   stub setupapi: SetupDiRemoveDevice call 2 -> error 0x00000005
// Every other call is handed to Wine's own setupapi.dll (see wine_builtin.h).
//
// With ZAN_STUB_SETUPAPI_NEEDREBOOT=1, SetupDiGetDeviceInstallParamsA reports
// DI_NEEDREBOOT, as Windows does after a removal that needs a restart, and
// succeeds even where Wine's own call fails (Wine cannot read a removed
// device's parameters); traced as
//   stub setupapi: SetupDiGetDeviceInstallParamsA call 1 -> DI_NEEDREBOOT
#include <windows.h>
// These are the definitions, not imports.
#define _SETUPAPI_
#include <setupapi.h>

#include "wine_builtin.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Counts the calls of one function and tells whether this one is to fail.
class Calls {
public:
    explicit Calls(const char* function) : function_(function) {}

    // True, with the last error set and the failure traced, when this call fails.
    bool FailThisOne() {
        const long call = ::InterlockedIncrement(&count_);
        char failList[512] = {};
        const DWORD length = ::GetEnvironmentVariableA("ZAN_STUB_SETUPAPI_FAIL", failList, sizeof(failList));
        if (length == 0 || length >= sizeof(failList)) return false;
        bool fail = false;
        for (char* item = std::strtok(failList, ","); item != nullptr && !fail; item = std::strtok(nullptr, ",")) {
            char* hash = std::strchr(item, '#');
            if (hash != nullptr) *hash = '\0';
            if (std::strcmp(item, function_) != 0) continue;
            fail = hash == nullptr || std::strtol(hash + 1, nullptr, 10) == call;
        }
        if (!fail) return false;
        const DWORD error = Error();
        char line[200];
        std::snprintf(line, sizeof(line), "stub setupapi: %s call %ld -> error 0x%08lx\n", function_, call,
                      static_cast<unsigned long>(error));
        ::OutputDebugStringA(line);
        ::SetLastError(error);
        return true;
    }

    // How many calls were counted so far, this one included.
    long Count() const { return count_; }

    // Wine's own function of that name.
    template <typename Function>
    Function Real() {
        return wine_builtin::Proc<Function>("setupapi.dll", function_);
    }

private:
    static DWORD Error() {
        char text[32] = {};
        const DWORD length = ::GetEnvironmentVariableA("ZAN_STUB_SETUPAPI_ERROR", text, sizeof(text));
        if (length == 0 || length >= sizeof(text)) return ERROR_ACCESS_DENIED;
        return static_cast<DWORD>(std::strtoul(text, nullptr, 0));
    }

    const char* function_;
    volatile long count_ = 0;
};

Calls g_getClassDevs("SetupDiGetClassDevsA");
Calls g_enumDeviceInfo("SetupDiEnumDeviceInfo");
Calls g_getProperty("SetupDiGetDeviceRegistryPropertyA");
Calls g_setProperty("SetupDiSetDeviceRegistryPropertyA");
Calls g_getInstanceId("SetupDiGetDeviceInstanceIdA");
Calls g_removeDevice("SetupDiRemoveDevice");
Calls g_getInstallParams("SetupDiGetDeviceInstallParamsA");
Calls g_destroyList("SetupDiDestroyDeviceInfoList");
#ifndef ZAN_STUB_SETUPAPI_LACKS_UNINSTALL_OEM_INF
Calls g_uninstallOemInf("SetupUninstallOEMInfA");
#endif

// When Wine's own function cannot be reached the call fails as a missing one would.
BOOL Unreachable() {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
}

}  // namespace

extern "C" {

__declspec(dllexport) HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent,
                                                           DWORD flags) {
    if (g_getClassDevs.FailThisOne()) return INVALID_HANDLE_VALUE;
    auto real = g_getClassDevs.Real<decltype(&SetupDiGetClassDevsA)>();
    if (real == nullptr) {
        Unreachable();
        return INVALID_HANDLE_VALUE;
    }
    return real(classGuid, enumerator, parent, flags);
}

__declspec(dllexport) BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA data) {
    if (g_enumDeviceInfo.FailThisOne()) return FALSE;
    auto real = g_enumDeviceInfo.Real<decltype(&SetupDiEnumDeviceInfo)>();
    return real != nullptr ? real(set, index, data) : Unreachable();
}

__declspec(dllexport) BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA data,
                                                                    DWORD property, PDWORD valueType, PBYTE buffer,
                                                                    DWORD bufferSize, PDWORD requiredSize) {
    if (g_getProperty.FailThisOne()) return FALSE;
    auto real = g_getProperty.Real<decltype(&SetupDiGetDeviceRegistryPropertyA)>();
    return real != nullptr ? real(set, data, property, valueType, buffer, bufferSize, requiredSize) : Unreachable();
}

__declspec(dllexport) BOOL WINAPI SetupDiSetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA data,
                                                                    DWORD property, const BYTE* buffer,
                                                                    DWORD bufferSize) {
    if (g_setProperty.FailThisOne()) return FALSE;
    auto real = g_setProperty.Real<decltype(&SetupDiSetDeviceRegistryPropertyA)>();
    return real != nullptr ? real(set, data, property, buffer, bufferSize) : Unreachable();
}

__declspec(dllexport) BOOL WINAPI SetupDiGetDeviceInstanceIdA(HDEVINFO set, PSP_DEVINFO_DATA data, PSTR id,
                                                              DWORD idSize, PDWORD requiredSize) {
    if (g_getInstanceId.FailThisOne()) return FALSE;
    auto real = g_getInstanceId.Real<decltype(&SetupDiGetDeviceInstanceIdA)>();
    return real != nullptr ? real(set, data, id, idSize, requiredSize) : Unreachable();
}

__declspec(dllexport) BOOL WINAPI SetupDiRemoveDevice(HDEVINFO set, PSP_DEVINFO_DATA data) {
    if (g_removeDevice.FailThisOne()) return FALSE;
    auto real = g_removeDevice.Real<decltype(&SetupDiRemoveDevice)>();
    return real != nullptr ? real(set, data) : Unreachable();
}

__declspec(dllexport) BOOL WINAPI SetupDiGetDeviceInstallParamsA(HDEVINFO set, PSP_DEVINFO_DATA data,
                                                                 PSP_DEVINSTALL_PARAMS_A params) {
    if (g_getInstallParams.FailThisOne()) return FALSE;
    const long call = g_getInstallParams.Count();
    auto real = g_getInstallParams.Real<decltype(&SetupDiGetDeviceInstallParamsA)>();
    const BOOL result = real != nullptr ? real(set, data, params) : Unreachable();
    const DWORD error = ::GetLastError();
    char flag[8] = {};
    const DWORD length = ::GetEnvironmentVariableA("ZAN_STUB_SETUPAPI_NEEDREBOOT", flag, sizeof(flag));
    if (length == 0 || length >= sizeof(flag) || std::strcmp(flag, "1") != 0 || params == nullptr ||
        params->cbSize != sizeof(SP_DEVINSTALL_PARAMS_A)) {
        ::SetLastError(error);  // Wine's own result, as it gave it
        return result;
    }
    if (!result) {
        const DWORD size = params->cbSize;
        std::memset(params, 0, sizeof(*params));
        params->cbSize = size;
    }
    params->Flags |= DI_NEEDREBOOT;
    char line[120];
    std::snprintf(line, sizeof(line), "stub setupapi: SetupDiGetDeviceInstallParamsA call %ld -> DI_NEEDREBOOT\n", call);
    ::OutputDebugStringA(line);
    ::SetLastError(ERROR_SUCCESS);
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set) {
    if (g_destroyList.FailThisOne()) return FALSE;
    auto real = g_destroyList.Real<decltype(&SetupDiDestroyDeviceInfoList)>();
    return real != nullptr ? real(set) : Unreachable();
}

// Built without it as well (lacking/setupapi.dll), for a system DLL that lacks an entry point.
#ifndef ZAN_STUB_SETUPAPI_LACKS_UNINSTALL_OEM_INF
__declspec(dllexport) BOOL WINAPI SetupUninstallOEMInfA(PCSTR infFileName, DWORD flags, PVOID reserved) {
    if (g_uninstallOemInf.FailThisOne()) return FALSE;
    auto real = g_uninstallOemInf.Real<decltype(&SetupUninstallOEMInfA)>();
    return real != nullptr ? real(infFileName, flags, reserved) : Unreachable();
}
#endif

}  // extern "C"
