// One run at a time on a machine: a named mutex in the Global\ namespace,
// taken without waiting before a run touches anything and held until it
// ends. The system releases it when a process dies.
#pragma once

#include "platform/handles.h"

constexpr char kRunLockName[] = "Global\\ZanDriverInstaller.Run";

class RunLock {
public:
    enum class Result {
        Taken,        // this run holds the lock
        Refused,      // another run holds it: this run must change nothing
        Unavailable,  // the lock itself failed (traced); the run goes on without it
    };

    RunLock() = default;
    ~RunLock() { Release(); }
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // A refusal is traced "--> Refused: another run in progress"; a lock left
    // by a run that died is taken over, and traced.
    Result Take();
    // Gives the lock up (when held) and closes it; taken again only by Take.
    void Release();

private:
    plat::KernelHandle m_mutex;
    bool m_held = false;
};
