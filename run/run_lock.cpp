#include "run/run_lock.h"

#include "platform/trace.h"

namespace {

void TraceUnavailable(DWORD error) {
    TraceF("--> Run lock not available : GetLastError() = %08lxh", static_cast<unsigned long>(error));
}

RunLock::Result Refuse() {
    Trace("--> Refused: another run in progress");
    return RunLock::Result::Refused;
}

}  // namespace

RunLock::Result RunLock::Take() {
    m_mutex = plat::KernelHandle(plat::CreateMutexA(nullptr, FALSE, kRunLockName));
    if (!m_mutex) {
        const DWORD error = plat::GetLastError();
        // The mutex exists but this account may not open it: a run started by
        // another account (the local system, say) holds it.
        if (error == ERROR_ACCESS_DENIED) {
            TraceF("--> Run lock could not be opened : GetLastError() = %08lxh", static_cast<unsigned long>(error));
            return Refuse();
        }
        TraceUnavailable(error);
        return Result::Unavailable;
    }
    switch (plat::WaitForSingleObject(m_mutex.get(), 0)) {
    case WAIT_OBJECT_0:
        m_held = true;
        return Result::Taken;
    case WAIT_ABANDONED:
        m_held = true;
        Trace("--> Run lock taken over from a run that ended without releasing it");
        return Result::Taken;
    case WAIT_TIMEOUT:
        Release();
        return Refuse();
    default: {
        const DWORD error = plat::GetLastError();
        Release();
        TraceUnavailable(error);
        return Result::Unavailable;
    }
    }
}

void RunLock::Release() {
    if (m_held) plat::ReleaseMutex(m_mutex.get());
    m_held = false;
    m_mutex.reset();
}
