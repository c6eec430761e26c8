#include "run/program_run.h"

#include "installer/machine_check.h"
#include "res/version.h"
#include "run/captured_output.h"
#include "run/exit_codes.h"
#include "run/worker_run.h"
#include "run/wow64_handover.h"

namespace {

constexpr char kNotCompleted[] = "operation not completed";
constexpr char kCheckNotRead[] = "machine could not be read";

// The outcome of a run that ended, as the log's last line names it.
const char* OutcomeText(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::Succeeded:
        return "RESULT.SUCCESS";
    case RunOutcome::Failed:
        return "RESULT.FAIL";
    case RunOutcome::NotRun:
        break;
    }
    return "no operation";
}

}  // namespace

ProgramRun::ProgramRun(const char* argumentText)
    : m_argumentText(argumentText != nullptr ? argumentText : ""),
      m_options(ParseRunOptions(m_argumentText)),
      m_exitCode(kExitFailed),
      m_outcome(kNotCompleted) {
    m_worker.choices = &m_options;
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
    // A check's verdict line goes to the same captured output from the 64-bit program.
    const std::optional<HandOver> handOver = HandOverOnWow64(m_argumentText, m_options.check);
    if (!handOver) return false;
    if (handOver->started) {
        m_exitCode = handOver->exitCode;
        m_outcome = "handed over to the 64-bit program";
    } else if (m_options.check) {
        // A check touches no marker and shows no box.
        m_exitCode = kExitFailed;
        m_outcome = kCheckNotRead;
        WriteCapturedLine("ZAN drivers could not be checked: the 64-bit program could not be started");
    } else if (TakeLock()) {
        const RunOutcome outcome = FailHandOver(*handOver, m_options.unattended);
        m_exitCode = ProcessExitCode(true, outcome);
        m_outcome = OutcomeText(outcome);
    }
    return true;
}

bool ProgramRun::TakeLock() {
    if (m_lock.Take() != RunLock::Result::Refused) return true;
    m_exitCode = kExitAnotherRunInProgress;
    m_outcome = "another run in progress";
    return false;
}

void ProgramRun::WorkerEnded(bool workerStarted, const StatusBoard& board) {
    // The worker's result is read only once it has lowered the flag: it
    // wrote the result before.
    const bool completed = workerStarted && !board.IsRunning();
    const RunOutcome outcome = completed ? m_worker.outcome : RunOutcome::Failed;
    m_exitCode = ProcessExitCode(completed, outcome, completed && m_worker.restartNeeded);
    m_outcome = completed ? OutcomeText(outcome) : kNotCompleted;
}

void ProgramRun::CheckMachine() {
    const MachineCheck check = ::CheckMachine(m_options);
    WriteCapturedLine(check.summary);
    switch (check.verdict) {
    case CheckVerdict::AsLeft:
        m_exitCode = kExitSucceeded;
        m_outcome = m_options.operation == Operation::Uninstall ? "machine as an uninstall leaves it"
                                                                 : "machine as an install leaves it";
        return;
    case CheckVerdict::Differs:
        m_exitCode = kExitFailed;
        m_outcome = "machine differs";
        return;
    case CheckVerdict::Unread:
        break;
    }
    m_exitCode = kExitFailed;
    m_outcome = kCheckNotRead;
}

int ProgramRun::Finish() {
    m_log.Close(m_outcome, m_exitCode);
    m_lock.Release();
    return m_exitCode;
}

int RunProgram(ProgramRun& run, bool mayHandOver, const ShowWindowStep& showWindow) {
    run.OpenLog();
    // On 64-bit Windows the 64-bit program does the whole run: no window, no
    // dismisser, and no lock while it runs.
    if (mayHandOver && run.HandedOverToNativeProgram()) return run.Finish();
    // Nothing is shown or touched before the lock is held.
    if (!run.TakeLock()) return run.Finish();
    if (run.Options().check) {
        run.CheckMachine();
    } else {
        run.WorkerEnded(showWindow(run), g_status);
    }
    return run.Finish();
}
