// What the plat:: operations of the simulated machine share (devices.cpp,
// registry.cpp, files.cpp, process_time.cpp, windows_input.cpp). Each
// operation opens with a Call: the machine's lock held, the call counted, and
// the fault injected for it, if any. It then fails the way the Windows
// function fails, or does what Windows does with what the machine holds.
// Hooks (onSleep, onMessageBox, onCreateFile) run without the lock.
#pragma once

#include "platform/platform.h"
#include "sim/machine_impl.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>

namespace sim {

namespace fs = std::filesystem;
using Impl = Machine::Impl;

// The last error of each thread, as GetLastError gives it.
inline thread_local DWORD t_lastError = ERROR_SUCCESS;

inline BOOL Fail(DWORD error) {
    t_lastError = error;
    return FALSE;
}

inline HANDLE FailHandle(DWORD error) {
    t_lastError = error;
    return INVALID_HANDLE_VALUE;
}

// Handles are numbers from one sequence of the machine's.
inline std::uintptr_t Id(const void* handle) { return reinterpret_cast<std::uintptr_t>(handle); }

template <typename H>
H MakeHandle(std::uintptr_t id) {
    return reinterpret_cast<H>(id);
}

// ANSI path functions go through a MAX_PATH buffer: longer paths are refused.
inline DWORD CheckAnsiPath(LPCSTR path) {
    if (path == nullptr) return ERROR_INVALID_PARAMETER;
    if (std::strlen(path) >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    return ERROR_SUCCESS;
}

// Whether this thread is inside an operation, holding the machine's lock.
inline thread_local bool t_inCall = false;

// The opening every operation shares.
class Call {
public:
    explicit Call(const char* operation)
        : m(TheMachine().impl()), lock_(m.mu), fault(m.EnterLocked(operation)) {
        t_inCall = true;
    }
    ~Call() { t_inCall = outer_; }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    // Gives the lock up early, before a hook runs.
    void Unlock() {
        lock_.unlock();
        t_inCall = outer_;
    }

    Impl& m;

private:
    std::unique_lock<std::mutex> lock_;
    const bool outer_ = t_inCall;

public:
    // The error (or registry return code) the call is to fail with.
    const std::optional<DWORD> fault;
};

}  // namespace sim
