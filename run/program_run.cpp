#include "ui/program_run.h"

#include "res/version.h"
#include "ui/worker_run.h"
#include "ui/wow64_handover.h"

ProgramRun::ProgramRun(const char* argumentText)
    : m_argumentText(argumentText != nullptr ? argumentText : ""), m_options(ParseRunOptions(m_argumentText)) {
    // Nobody is there to answer the system's own boxes either: a drive
    // without its disk, a file that cannot be opened, a crash fail at once.
    if (m_options.unattended) {
        plat::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    }
}

void ProgramRun::OpenLog() {
    if (m_options.logGiven) m_log.Open(m_options.logPath, ZAN_FILE_VERSION_TEXT, m_argumentText);
}

bool ProgramRun::HandedOverToNativeProgram() {
    const std::optional<HandOver> handOver = HandOverOnWow64(m_argumentText);
    if (!handOver) return false;
    if (handOver->started) {
        m_exitCode = handOver->exitCode;
        m_outcome = "handed over to the 64-bit program";
    } else if (TakeLock()) {
        m_exitCode = FailHandOver(*handOver, !m_options.unattended);
        m_outcome = "RESULT.FAIL";
    }
    return true;
}

bool ProgramRun::TakeLock() {
    if (m_lock.Take() != RunLock::Result::Refused) return true;
    m_exitCode = kExitAnotherRunInProgress;
    m_outcome = "another run in progress";
    return false;
}

void ProgramRun::WorkerEnded(bool workerStarted, const StatusBoard& board, RunOutcome outcome,
                             bool restartNeeded) {
    m_exitCode = ProcessExitCode(workerStarted, board, outcome, restartNeeded);
    if (!workerStarted || board.IsRunning()) {
        m_outcome = "operation not completed";
        return;
    }
    switch (outcome) {
    case RunOutcome::Succeeded:
        m_outcome = "RESULT.SUCCESS";
        break;
    case RunOutcome::Failed:
        m_outcome = "RESULT.FAIL";
        break;
    case RunOutcome::NotRun:
        m_outcome = "no operation";
        break;
    }
}

int ProgramRun::Finish() {
    m_log.Close(m_outcome, m_exitCode);
    m_lock.Release();
    return m_exitCode;
}
