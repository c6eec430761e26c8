// A stand-in for newdev.dll, for tests under Wine, whose own driver update
// reports success even when no device has the hardware ID.
//
// UpdateDriverForPlugAndPlayDevicesA/W read the environment variable
// ZAN_STUB_NEWDEV_ERROR: absent, empty or 0, the call succeeds; otherwise it
// fails with that value as the last error, given in decimal ("5"), in hex with
// a 0x ("0xE000020B") or as bare hex digits ("E000020B").
//
// With ZAN_STUB_NEWDEV_FAIL_ID set, only a call for exactly that hardware ID
// fails (with ZAN_STUB_NEWDEV_ERROR, or ERROR_GEN_FAILURE when that is not
// set); every other call is handed to Wine's own newdev.dll, found through
// WINEDLLDIR0, so that the rows before the failing one really get their
// drivers.
// With ZAN_STUB_NEWDEV_FAIL_CALL=<n> instead, only the n-th call (counting
// from 1) fails so, and every other one is handed on likewise.
//
// Every call is traced to the debugger output as
//   stub newdev: UpdateDriverForPlugAndPlayDevicesA("<id>", "<inf>", flags 0x1) -> error 0x...
// (with "-> passed on, result N" for a call handed on) so that a test can
// tell the stand-in was the one loaded.
//
// With ZAN_STUB_NEWDEV_REBOOT set, a second line tells whether the caller
// passed the restart output:
//   stub newdev: no restart output
//   stub newdev: restart output given, set to TRUE   (a call that succeeded)
//   stub newdev: restart output given, left FALSE    (ZAN_STUB_NEWDEV_REBOOT=0, or a failed call)
// so that a test can see a restart asked for, as Wine's own update never asks.
#include <windows.h>

#include "wine_builtin.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

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

using UpdateDriverA = BOOL(WINAPI*)(HWND, LPCSTR, LPCSTR, DWORD, PBOOL);

// With ZAN_STUB_NEWDEV_REBOOT set: the restart line, and a successful call
// says a restart is needed unless it is "0".
void ReportRestart(BOOL succeeded, PBOOL rebootRequired) {
    char value[16] = {};
    const DWORD length = ::GetEnvironmentVariableA("ZAN_STUB_NEWDEV_REBOOT", value, sizeof(value));
    if (length == 0 || length >= sizeof(value)) return;
    if (rebootRequired == nullptr) {
        ::OutputDebugStringA("stub newdev: no restart output\n");
        return;
    }
    if (succeeded && std::strcmp(value, "0") != 0) {
        *rebootRequired = TRUE;
        ::OutputDebugStringA("stub newdev: restart output given, set to TRUE\n");
    } else {
        ::OutputDebugStringA("stub newdev: restart output given, left FALSE\n");
    }
}

// True when ZAN_STUB_NEWDEV_FAIL_ID names another hardware ID than this one,
// or ZAN_STUB_NEWDEV_FAIL_CALL another call than this one.
bool PassedOn(const char* hardwareId) {
    static long calls = 0;
    const long call = ++calls;
    char failCall[16] = {};
    const DWORD callLength = ::GetEnvironmentVariableA("ZAN_STUB_NEWDEV_FAIL_CALL", failCall, sizeof(failCall));
    if (callLength > 0 && callLength < sizeof(failCall)) return std::strtol(failCall, nullptr, 10) != call;
    char failId[260] = {};
    const DWORD length = ::GetEnvironmentVariableA("ZAN_STUB_NEWDEV_FAIL_ID", failId, sizeof(failId));
    return length > 0 && length < sizeof(failId) && std::strcmp(failId, hardwareId) != 0;
}

BOOL Finish(const char* call, const char* hardwareId, const char* infPath, DWORD flags, PBOOL rebootRequired) {
    BOOL result = FALSE;
    DWORD error = ::GetLastError();
    char outcome[40];
    if (PassedOn(hardwareId)) {
        const auto update =
            wine_builtin::Proc<UpdateDriverA>("newdev.dll", "UpdateDriverForPlugAndPlayDevicesA");
        if (update != nullptr) {
            result = update(nullptr, hardwareId, infPath, flags, rebootRequired);
            error = ::GetLastError();
        }
        std::snprintf(outcome, sizeof(outcome), "passed on, result %d", update != nullptr ? result : -1);
    } else {
        error = ConfiguredError();
        if (error == ERROR_SUCCESS && (::GetEnvironmentVariableA("ZAN_STUB_NEWDEV_FAIL_ID", nullptr, 0) > 0 ||
                                       ::GetEnvironmentVariableA("ZAN_STUB_NEWDEV_FAIL_CALL", nullptr, 0) > 0))
            error = ERROR_GEN_FAILURE;
        result = error == ERROR_SUCCESS;
        if (result && rebootRequired != nullptr) *rebootRequired = FALSE;
        std::snprintf(outcome, sizeof(outcome), "error 0x%08lx", static_cast<unsigned long>(error));
    }
    char line[600];
    std::snprintf(line, sizeof(line), "stub newdev: %s(\"%s\", \"%s\", flags 0x%lx) -> %s\n", call, hardwareId,
                  infPath, static_cast<unsigned long>(flags), outcome);
    ::OutputDebugStringA(line);
    ReportRestart(result, rebootRequired);
    ::SetLastError(error);
    return result;
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
