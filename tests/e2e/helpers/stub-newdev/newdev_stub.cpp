// A stand-in for newdev.dll, for tests under Wine, whose own driver update
// reports success even when no device has the hardware ID.
//
// UpdateDriverForPlugAndPlayDevicesA reads the environment variable
// ZAN_STUB_NEWDEV_ERROR: absent, empty or 0, the call succeeds; otherwise it
// fails with that value as the last error, given in decimal ("5") or in hex
// with a 0x ("0xE000020B").
//
// With ZAN_STUB_NEWDEV_FAIL_CALL=<n>, only the n-th call (counting from 1) is
// answered so (it fails only if ZAN_STUB_NEWDEV_ERROR names an error); every
// other call is handed to Wine's own newdev.dll, found through WINEDLLDIR0, so
// that the rows before the failing one really get their drivers.
//
// Every call is traced to the debugger output as
//   stub newdev: UpdateDriverForPlugAndPlayDevicesA("<id>", "<inf>", flags 0x1) -> error 0x...
// (with "-> passed on, result N" for a call handed on) so that a test can
// tell the stand-in was the one loaded.
//
// With ZAN_STUB_NEWDEV_REBOOT set (to anything, even empty), a second line
// tells whether the caller passed the restart output:
//   stub newdev: no restart output
//   stub newdev: restart output given, set to TRUE   (a call that succeeded)
//   stub newdev: restart output given, left FALSE    (a call that failed)
// so that a test can see a restart asked for, as Wine's own update never asks.
#include <windows.h>

#include "wine_builtin.h"

#include <cstdio>
#include <cstdlib>

namespace {

// 0 for success, else the error to fail with.
DWORD ConfiguredError() {
    char text[64] = {};
    const DWORD length = ::GetEnvironmentVariableA("ZAN_STUB_NEWDEV_ERROR", text, sizeof(text));
    if (length == 0 || length >= sizeof(text)) return ERROR_SUCCESS;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 0);
    if (*end != '\0') {
        ::OutputDebugStringA("stub newdev: ZAN_STUB_NEWDEV_ERROR is not a number; failing with ERROR_GEN_FAILURE\n");
        return ERROR_GEN_FAILURE;
    }
    return static_cast<DWORD>(value);
}

using UpdateDriverA = BOOL(WINAPI*)(HWND, LPCSTR, LPCSTR, DWORD, PBOOL);

// With ZAN_STUB_NEWDEV_REBOOT set: the restart line, and a successful call
// says a restart is needed.
void ReportRestart(BOOL succeeded, PBOOL rebootRequired) {
    if (::GetEnvironmentVariableA("ZAN_STUB_NEWDEV_REBOOT", nullptr, 0) == 0) return;
    if (rebootRequired == nullptr) {
        ::OutputDebugStringA("stub newdev: no restart output\n");
        return;
    }
    if (succeeded) {
        *rebootRequired = TRUE;
        ::OutputDebugStringA("stub newdev: restart output given, set to TRUE\n");
    } else {
        ::OutputDebugStringA("stub newdev: restart output given, left FALSE\n");
    }
}

// True when ZAN_STUB_NEWDEV_FAIL_CALL names another call than this one.
bool PassedOn() {
    static long calls = 0;
    const long call = ++calls;
    char failCall[16] = {};
    const DWORD length = ::GetEnvironmentVariableA("ZAN_STUB_NEWDEV_FAIL_CALL", failCall, sizeof(failCall));
    return length > 0 && length < sizeof(failCall) && std::strtol(failCall, nullptr, 10) != call;
}

BOOL Finish(const char* hardwareId, const char* infPath, DWORD flags, PBOOL rebootRequired) {
    BOOL result = FALSE;
    DWORD error = ::GetLastError();
    char outcome[40];
    if (PassedOn()) {
        const auto update =
            wine_builtin::Proc<UpdateDriverA>("newdev.dll", "UpdateDriverForPlugAndPlayDevicesA");
        if (update != nullptr) {
            result = update(nullptr, hardwareId, infPath, flags, rebootRequired);
            error = ::GetLastError();
        }
        std::snprintf(outcome, sizeof(outcome), "passed on, result %d", update != nullptr ? result : -1);
    } else {
        error = ConfiguredError();
        result = error == ERROR_SUCCESS;
        if (result && rebootRequired != nullptr) *rebootRequired = FALSE;
        std::snprintf(outcome, sizeof(outcome), "error 0x%08lx", static_cast<unsigned long>(error));
    }
    char line[600];
    std::snprintf(line, sizeof(line),
                  "stub newdev: UpdateDriverForPlugAndPlayDevicesA(\"%s\", \"%s\", flags 0x%lx) -> %s\n", hardwareId,
                  infPath, static_cast<unsigned long>(flags), outcome);
    ::OutputDebugStringA(line);
    ReportRestart(result, rebootRequired);
    ::SetLastError(error);
    return result;
}

}  // namespace

extern "C" __declspec(dllexport) BOOL WINAPI UpdateDriverForPlugAndPlayDevicesA(
    HWND, LPCSTR hardwareId, LPCSTR infPath, DWORD installFlags, PBOOL rebootRequired) {
    return Finish(hardwareId ? hardwareId : "(null)", infPath ? infPath : "(null)", installFlags, rebootRequired);
}
