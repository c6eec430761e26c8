// A stand-in for newdev.dll, for tests under Wine, whose own driver update
// reports success even when no device has the hardware ID.
//
// UpdateDriverForPlugAndPlayDevicesA/W read the environment variable
// ZAN_STUB_NEWDEV_ERROR: absent, empty or 0, the call succeeds; otherwise it
// fails with that value as the last error, given in decimal ("5"), in hex with
// a 0x ("0xE000020B") or as bare hex digits ("E000020B"). Every call is traced
// to the debugger output as
//   stub newdev: UpdateDriverForPlugAndPlayDevicesA("<id>", "<inf>", flags 0x1) -> error 0x...
// so that a test can tell the stand-in was the one loaded.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

// 0 for success, else the error to fail with.
DWORD ConfiguredError() {
    char text[64] = {};
    const DWORD length = ::GetEnvironmentVariableA("ZAN_STUB_NEWDEV_ERROR", text, sizeof(text));
    if (length == 0 || length >= sizeof(text)) return ERROR_SUCCESS;
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, 0);
    if (*end != '\0') value = std::strtoul(text, &end, 16);
    if (*end != '\0') {
        ::OutputDebugStringA("stub newdev: ZAN_STUB_NEWDEV_ERROR is not a number; failing with ERROR_GEN_FAILURE\n");
        return ERROR_GEN_FAILURE;
    }
    return static_cast<DWORD>(value);
}

BOOL Finish(const char* call, const char* hardwareId, const char* infPath, DWORD flags, PBOOL rebootRequired) {
    const DWORD error = ConfiguredError();
    char line[600];
    std::snprintf(line, sizeof(line), "stub newdev: %s(\"%s\", \"%s\", flags 0x%lx) -> error 0x%08lx\n", call,
                  hardwareId, infPath, static_cast<unsigned long>(flags), static_cast<unsigned long>(error));
    ::OutputDebugStringA(line);
    if (error != ERROR_SUCCESS) {
        ::SetLastError(error);
        return FALSE;
    }
    if (rebootRequired != nullptr) *rebootRequired = FALSE;
    ::SetLastError(ERROR_SUCCESS);
    return TRUE;
}

}  // namespace

extern "C" __declspec(dllexport) BOOL WINAPI UpdateDriverForPlugAndPlayDevicesA(
    HWND, LPCSTR hardwareId, LPCSTR infPath, DWORD installFlags, PBOOL rebootRequired) {
    return Finish("UpdateDriverForPlugAndPlayDevicesA", hardwareId ? hardwareId : "(null)",
                  infPath ? infPath : "(null)", installFlags, rebootRequired);
}

extern "C" __declspec(dllexport) BOOL WINAPI UpdateDriverForPlugAndPlayDevicesW(
    HWND, LPCWSTR hardwareId, LPCWSTR infPath, DWORD installFlags, PBOOL rebootRequired) {
    char id[260] = "(null)";
    char inf[260] = "(null)";
    if (hardwareId) ::WideCharToMultiByte(CP_ACP, 0, hardwareId, -1, id, sizeof(id), nullptr, nullptr);
    if (infPath) ::WideCharToMultiByte(CP_ACP, 0, infPath, -1, inf, sizeof(inf), nullptr, nullptr);
    return Finish("UpdateDriverForPlugAndPlayDevicesW", id, inf, installFlags, rebootRequired);
}
