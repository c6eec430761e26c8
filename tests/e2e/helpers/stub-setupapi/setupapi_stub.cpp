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
// ERROR_ACCESS_DENIED); SetupDiGetClassDevsA and SetupDiOpenDevRegKey then
// return INVALID_HANDLE_VALUE, the others FALSE. Each failure is traced to the
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

// Wine's own function of CALLS; when it cannot be reached, FAILED with the
// last error of a missing function.
template <typename Function, typename Result, typename... Args>
Result CallReal(Calls& calls, Result failed, Args... args) {
    const auto real = calls.Real<Function>();
    if (real != nullptr) return real(args...);
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return failed;
}

// A call that fails, returning FAILED, as ZAN_STUB_SETUPAPI_FAIL says, and is otherwise Wine's own.
template <typename Function, typename Result, typename... Args>
Result Forward(Calls& calls, Result failed, Args... args) {
    return calls.FailThisOne() ? failed : CallReal<Function>(calls, failed, args...);
}

}  // namespace

extern "C" {

__declspec(dllexport) HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent,
                                                           DWORD flags) {
    static Calls calls(__func__);
    return Forward<decltype(&SetupDiGetClassDevsA)>(calls, INVALID_HANDLE_VALUE, classGuid, enumerator, parent, flags);
}

__declspec(dllexport) BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA data) {
    static Calls calls(__func__);
    return Forward<decltype(&SetupDiEnumDeviceInfo)>(calls, FALSE, set, index, data);
}

__declspec(dllexport) BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA data,
                                                                    DWORD property, PDWORD valueType, PBYTE buffer,
                                                                    DWORD bufferSize, PDWORD requiredSize) {
    static Calls calls(__func__);
    return Forward<decltype(&SetupDiGetDeviceRegistryPropertyA)>(calls, FALSE, set, data, property, valueType, buffer,
                                                                 bufferSize, requiredSize);
}

__declspec(dllexport) BOOL WINAPI SetupDiSetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA data,
                                                                    DWORD property, const BYTE* buffer,
                                                                    DWORD bufferSize) {
    static Calls calls(__func__);
    return Forward<decltype(&SetupDiSetDeviceRegistryPropertyA)>(calls, FALSE, set, data, property, buffer, bufferSize);
}

__declspec(dllexport) BOOL WINAPI SetupDiGetDeviceInstanceIdA(HDEVINFO set, PSP_DEVINFO_DATA data, PSTR id,
                                                              DWORD idSize, PDWORD requiredSize) {
    static Calls calls(__func__);
    return Forward<decltype(&SetupDiGetDeviceInstanceIdA)>(calls, FALSE, set, data, id, idSize, requiredSize);
}

__declspec(dllexport) BOOL WINAPI SetupDiRemoveDevice(HDEVINFO set, PSP_DEVINFO_DATA data) {
    static Calls calls(__func__);
    return Forward<decltype(&SetupDiRemoveDevice)>(calls, FALSE, set, data);
}

__declspec(dllexport) BOOL WINAPI SetupDiGetDeviceInstallParamsA(HDEVINFO set, PSP_DEVINFO_DATA data,
                                                                 PSP_DEVINSTALL_PARAMS_A params) {
    static Calls calls(__func__);
    if (calls.FailThisOne()) return FALSE;
    const BOOL result = CallReal<decltype(&SetupDiGetDeviceInstallParamsA)>(calls, FALSE, set, data, params);
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
    std::snprintf(line, sizeof(line), "stub setupapi: SetupDiGetDeviceInstallParamsA call %ld -> DI_NEEDREBOOT\n",
                  calls.Count());
    ::OutputDebugStringA(line);
    ::SetLastError(ERROR_SUCCESS);
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set) {
    static Calls calls(__func__);
    return Forward<decltype(&SetupDiDestroyDeviceInfoList)>(calls, FALSE, set);
}

__declspec(dllexport) HKEY WINAPI SetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA data, DWORD scope,
                                                       DWORD hardwareProfile, DWORD keyType, REGSAM access) {
    static Calls calls(__func__);
    return Forward<decltype(&SetupDiOpenDevRegKey)>(calls, static_cast<HKEY>(INVALID_HANDLE_VALUE), set, data, scope,
                                                    hardwareProfile, keyType, access);
}

// Built without it as well (lacking/setupapi.dll), for a system DLL that lacks an entry point.
#ifndef ZAN_STUB_SETUPAPI_LACKS_UNINSTALL_OEM_INF
__declspec(dllexport) BOOL WINAPI SetupUninstallOEMInfA(PCSTR infFileName, DWORD flags, PVOID reserved) {
    static Calls calls(__func__);
    return Forward<decltype(&SetupUninstallOEMInfA)>(calls, FALSE, infFileName, flags, reserved);
}
#endif

}  // extern "C"
